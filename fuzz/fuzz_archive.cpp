// The archive engine on hostile archives: the input is written as a JAR into
// a fresh folder, opened, and every entry is read back; the folder goes after
// each input. Failure questions are answered with Ignore.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "archive/ZipArchiver.h"
#include "archive/ZipByteCursor.h"
#include "archive/ZipRecords.h"
#include "archive/ZipZlib.h"
#include "platform/Errors.h"
#include "platform/Stream.h"

namespace {

// Reads one entry's data through the codec into nothing: its local header
// first, then the data that follows the header's name and extra field.
void ReadEntry(platform::TFileStream& archive, const archive::TDirItem& entry) {
    archive.Seek(static_cast<std::int64_t>(entry.LocalHeaderOffset()),
                 platform::SeekOrigin::soBeginning);
    std::vector<std::uint8_t> bytes(archive::LocalHeaderSize);
    bytes.resize(archive.Read(bytes.data(), bytes.size()));
    archive::TByteCursor in(bytes);
    const archive::TZipLocalHeader local = archive::TZipLocalHeader::Decode(in);
    if (!in.Ok() || local.Signature != archive::LocalHeaderSignature) {
        return;
    }
    archive.Seek(local.NameLength + local.ExtraLength, platform::SeekOrigin::soCurrent);
    archive::TNullStream sink;
    archive::DecompressEntryData(archive, sink, entry, entry.CompressedSize(), {});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::InstallIgnoreDialogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::ScratchFolder folder;
    const std::string jar = folder.Path() + "input.jar";
    fuzz::WriteInputFile(jar, data, size);

    archive::TZipArchiver zip("Zip");
    archive::ApplyFormValues(zip);
    zip.FileName = jar;
    zip.BaseDir = folder.Path() + "out/";
    try {
        zip.Open();
        archive::TZipDirManager& manager = *zip.DirManager();
        for (int i = 0; i < manager.Directory.Count(); ++i) {
            const archive::TDirItem& entry = manager.Directory.ItemAt(i);
            if (!entry.IsFolder()) {
                ReadEntry(*zip.ArchiveStream(), entry);
            }
        }
    } catch (const platform::Exception&) {
        // A refused archive or entry is an answer, not a finding.
    }
    zip.Close();
    return 0;
}
