#include "midlet/JarReader.h"

#include <exception>

#include "archive/ZipArchiver.h"
#include "archive/codec/ZipZlib.h"
#include "archive/records/ZipRecords.h"
#include "platform/Files.h"

namespace midlet {

namespace {

// Takes the bytes and keeps none: extraction then only checks them.
class DiscardingSink : public archive::EntrySink {
  public:
    std::size_t Write(const void*, std::size_t count) override { return count; }
};

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// What a phone's reader refuses of an entry before its data: another
// method, encryption, stored data whose sizes differ, no data at all.
EntryState StateOfHeader(const archive::TDirItem& item) {
    const archive::CentralFileHeader& header = item.Header;
    if (item.UncompressedSize() == 0) {
        return EntryState::Empty;
    }
    if ((header.Flags & archive::FlagEncrypted) != 0 ||
        (header.Method != archive::MethodStored && header.Method != archive::MethodDeflate) ||
        (header.Method == archive::MethodStored &&
         item.CompressedSize() != item.UncompressedSize())) {
        return EntryState::Unreadable;
    }
    return EntryState::Readable;
}

// The state of entry `index`, its data checked against its CRC-32.
EntryState StateOf(archive::TZipArchiver& zip, int index) {
    const EntryState header = StateOfHeader(zip.DirManager()->Directory.ItemAt(index));
    if (header != EntryState::Readable) {
        return header;
    }
    DiscardingSink sink;
    try {
        zip.ExtractToStream(index, sink);
        return EntryState::Readable;
    } catch (const std::exception&) {
        return EntryState::Unreadable;
    }
}

void ReadManifest(archive::TZipArchiver& zip, JarContents& jar) {
    const auto exact = jar.firstIndex.find(kManifestEntry);
    if (exact == jar.firstIndex.end()) {
        for (const std::string& name : jar.entries) {
            if (SameIgnoringAsciiCase(name, kManifestEntry)) {
                jar.manifestOtherCase = name;
                break;
            }
        }
        return;
    }
    const archive::TDirItem& item = zip.DirManager()->Directory.ItemAt(exact->second);
    jar.manifestState = StateOfHeader(item);
    if (jar.manifestState != EntryState::Readable) {
        return;
    }
    if (item.UncompressedSize() > kMaxManifestBytes) {
        jar.manifestState = EntryState::Unreadable;
        jar.manifestProblem =
            "the manifest is larger than " + std::to_string(kMaxManifestBytes >> 20) + " MiB";
        return;
    }
    archive::StringSink sink(jar.manifest, kMaxManifestBytes);
    try {
        zip.ExtractToStream(exact->second, sink);
    } catch (const std::exception&) {
        jar.manifest.clear();
        jar.manifestState = EntryState::Unreadable;
        jar.manifestProblem = "its data do not match their checksum";
    }
}

// The end record must end the file, as a phone looks for it there. Bytes in
// front of the archive are no fault: a phone, like the engine, counts the
// offsets from where the archive starts.
JarFault ShapeFault(archive::TZipDirManager& directory, std::uint64_t size) {
    archive::EndOfCentralDirectory end;
    std::int64_t position = -1;
    if (!directory.FindEndRecord(end, position)) {
        return JarFault::NotZip;
    }
    if (static_cast<std::uint64_t>(position) + archive::EndRecordSize + end.CommentLength != size) {
        return JarFault::TrailingBytes;
    }
    if (directory.End.IsZip64) {
        return JarFault::Zip64;
    }
    return JarFault::None;
}

void ReadDirectory(archive::TZipArchiver& zip, JarContents& jar) {
    archive::TZipDirManager& directory = *zip.DirManager();
    jar.fault = ShapeFault(directory, jar.size);
    if (jar.fault != JarFault::None) {
        return;
    }
    for (int i = 0; i < directory.Directory.Count(); ++i) {
        jar.entries.push_back(directory.StoredNameOf(directory.Directory.ItemAt(i)));
        jar.firstIndex.emplace(jar.entries.back(), i);
    }
    ReadManifest(zip, jar);
}

// Opens the archive read-only; false, with the fault set, when it is none.
bool Open(archive::TZipArchiver& zip, const std::string& path, JarContents& jar) {
    zip.FileName = path;
    try {
        zip.OpenArchive(archive::OpenModeReadOnly);
        return true;
    } catch (const archive::EZipException&) {
        jar.fault = JarFault::NotZip;
    } catch (const std::exception&) {
        jar.fault = JarFault::Unreadable;
    }
    return false;
}

}  // namespace

OpenJar::OpenJar(const std::string& path) {
    platform::FileAttributeData file;
    if (!platform::GetFileAttributesEx(path, file)) {
        contents_.fault = JarFault::Missing;
        return;
    }
    if ((file.attributes & platform::faDirectory) != 0) {
        contents_.fault = JarFault::Folder;
        return;
    }
    contents_.size = file.size;
    if (contents_.size == 0) {
        contents_.fault = JarFault::Empty;
        return;
    }
    auto zip = std::make_unique<archive::TZipArchiver>("Zip");
    if (!Open(*zip, path, contents_)) {
        return;
    }
    try {
        ReadDirectory(*zip, contents_);
    } catch (const archive::EZipException&) {
        contents_.fault = JarFault::NotZip;
    } catch (const std::exception&) {
        contents_.fault = JarFault::Unreadable;
    }
    if (contents_.Readable()) {
        zip_ = std::move(zip);
    }
}

OpenJar::~OpenJar() = default;

std::map<std::string, EntryState> OpenJar::CheckEntries(const std::vector<std::string>& names) {
    std::map<std::string, EntryState> states;
    for (const std::string& name : names) {
        states[name] = EntryState::Missing;
    }
    if (zip_ == nullptr) {
        return states;
    }
    try {
        for (auto& [name, state] : states) {
            const auto at = contents_.firstIndex.find(name);
            state =
                at == contents_.firstIndex.end() ? EntryState::Missing : StateOf(*zip_, at->second);
        }
    } catch (const std::exception&) {
        for (auto& entry : states) {
            entry.second = EntryState::Unreadable;
        }
    }
    return states;
}

JarContents ReadJar(const std::string& path) {
    return OpenJar(path).Contents();
}

}  // namespace midlet
