#include "midlet/JarReader.h"

#include <exception>

#include "archive/ZipArchiver.h"
#include "archive/codec/ZipZlib.h"
#include "platform/Files.h"

namespace midlet {

namespace {

// Collects an entry's bytes up to a limit; a write past it is refused, which
// ends the extraction with a failure.
class LimitedStringSink : public archive::EntrySink {
  public:
    LimitedStringSink(std::string& target, std::uint64_t limit) : target_(target), limit_(limit) {}

    std::size_t Write(const void* buffer, std::size_t count) override {
        if (target_.size() + count > limit_) {
            return 0;
        }
        target_.append(static_cast<const char*>(buffer), count);
        return count;
    }

  private:
    std::string& target_;
    std::uint64_t limit_;
};

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The manifest entry: the exact name, else one that differs only in case.
int FindManifest(const archive::TZipDirManager& directory, const std::vector<std::string>& names) {
    int nearly = -1;
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        if (directory.Directory.ItemAt(i).IsFolder()) {
            continue;
        }
        if (names[static_cast<std::size_t>(i)] == kManifestEntry) {
            return i;
        }
        if (nearly < 0 &&
            SameIgnoringAsciiCase(names[static_cast<std::size_t>(i)], kManifestEntry)) {
            nearly = i;
        }
    }
    return nearly;
}

void ReadManifest(archive::TZipArchiver& zip, JarContents& jar) {
    const int index = FindManifest(*zip.DirManager(), jar.entries);
    if (index < 0) {
        return;
    }
    jar.hasManifest = true;
    jar.manifestName = jar.entries[static_cast<std::size_t>(index)];
    if (zip.DirManager()->Directory.ItemAt(index).UncompressedSize() > kMaxManifestBytes) {
        jar.manifestFailure =
            "the manifest is larger than " + std::to_string(kMaxManifestBytes >> 20) + " MiB";
        return;
    }
    LimitedStringSink sink(jar.manifest, kMaxManifestBytes);
    try {
        zip.ExtractToStream(index, sink);
    } catch (const std::exception& e) {
        jar.manifest.clear();
        jar.manifestFailure = e.what();
    }
}

void ReadDirectory(archive::TZipArchiver& zip, JarContents& jar) {
    archive::TZipDirManager& directory = *zip.DirManager();
    // A file without an end record is rebuilt from its local headers by the
    // engine; an installer takes it for no ZIP archive at all.
    archive::EndOfCentralDirectory end;
    std::int64_t position = -1;
    if (!directory.FindEndRecord(end, position)) {
        jar.failure = "not a ZIP archive: no end of central directory record";
        jar.failureCode = 907;
        return;
    }
    for (int i = 0; i < directory.Directory.Count(); ++i) {
        jar.entries.push_back(directory.StoredNameOf(directory.Directory.ItemAt(i)));
    }
    jar.entrySet.insert(jar.entries.begin(), jar.entries.end());
    ReadManifest(zip, jar);
}

}  // namespace

JarContents ReadJar(const std::string& path) {
    JarContents jar;
    if (!platform::FileExists(path) || !platform::FindFileSize(path, jar.size)) {
        jar.failure = "cannot be read: no such file";
        return jar;
    }
    archive::TZipArchiver zip("Zip");
    zip.FileName = path;
    try {
        zip.OpenArchive(archive::OpenModeReadOnly);
        ReadDirectory(zip, jar);
    } catch (const archive::EZipException& e) {
        jar.failure = std::string("not a ZIP archive: ") + e.what();
        jar.failureCode = 907;
    } catch (const std::exception& e) {
        jar.failure = std::string("cannot be read: ") + e.what();
    }
    zip.Close();
    return jar;
}

}  // namespace midlet
