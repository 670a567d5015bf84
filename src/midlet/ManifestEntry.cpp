#include "midlet/ManifestEntry.h"

#include "archive/ZipArchiver.h"
#include "archive/codec/ZipZlib.h"
#include "archive/directory/ZipDirManager.h"
#include "platform/CodePage.h"

namespace midlet {

namespace {

constexpr const char* kManifestName = "META-INF/MANIFEST.MF";

archive::TZipDirArray& DirectoryOf(archive::TZipBaseArchiver& zip) {
    return zip.DirManager()->Directory;
}

}  // namespace

int FindManifestEntry(archive::TZipBaseArchiver& zip) {
    const archive::TZipDirArray& directory = DirectoryOf(zip);
    int found = -1;
    for (int i = 0; i < directory.Count(); ++i) {
        std::string name = directory.ItemAt(i).Name;
        for (char& c : name) {
            c = c == '\\' ? '/' : c;
        }
        if (platform::SameInvariantText(name, kManifestName)) {
            found = i;
        }
    }
    return found;
}

std::string ReadEntryBytes(archive::TZipBaseArchiver& zip, int index) {
    std::string bytes;
    archive::StringSink sink(bytes, kMaxManifestBytes);
    zip.ExtractToStream(index, sink);
    return bytes;
}

void UpdateEntry(archive::TZipBaseArchiver& zip, int index) {
    archive::TZipDirArray& directory = DirectoryOf(zip);
    directory.ClearSelected();
    directory.ItemAt(index).Selected = true;
    zip.BeginTransaction();
    try {
        zip.ProcessSelectedEntries(archive::poUpdate);
        zip.EndTransaction();
    } catch (...) {
        zip.AbandonTransaction();
        throw;
    }
}

}  // namespace midlet
