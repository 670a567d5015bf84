// Refreshing entries from files: the selection by mask inside one
// transaction, finding each entry's file under BaseDir, and turning the
// entry into one that the commit compresses from that file.
#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "archive/names/ZipPaths.h"
#include "archive/names/ZipSelect.h"
#include "archive/records/ZipTimeBlocks.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace archive {

namespace {

// Restores a text when the scope ends.
class RestoreText {
  public:
    RestoreText(std::string& text, std::string value) : text_(text), old_(std::move(text)) {
        text_ = std::move(value);
    }
    ~RestoreText() { text_ = std::move(old_); }
    RestoreText(const RestoreText&) = delete;
    RestoreText& operator=(const RestoreText&) = delete;

  private:
    std::string& text_;
    std::string old_;
};

}  // namespace

void TZipBaseArchiver::UpdateByMask(const std::string& mask, std::uint32_t searchAttr,
                                    const std::string& exclusionMask, MaskText maskText) {
    // Spanning never applies to a single file.
    if (!isOpen_) {
        throw EZipException(native::ArchiveNotOpen, this);
    }
    SelectEntries(dirManager_->Directory, mask, searchAttr, exclusionMask, Options, maskText);
    BeginTransaction();
    try {
        ProcessSelectedEntries(poUpdate);
        EndTransaction();
    } catch (...) {
        AbandonTransaction();
        throw;
    }
}

void TZipBaseArchiver::RefreshEntry(int index, const std::string& name,
                                    const std::string& destinationFolder) {
    TZipDirArray& directory = dirManager_->Directory;
    if (index < 0 || index >= directory.Count()) {
        throw EZipException(native::UpdateIndex, this);
    }
    const TDirItem& entry = directory.ItemAt(index);
    // Folders, and names that would lead out of the folder, stay as
    // they are: files are only looked up below BaseDir.
    if (entry.IsFolder() || !IsContainedEntryName(name)) {
        return;
    }
    // The file is looked up once; its existence, time and attributes all
    // come from that look-up.
    const std::string path = ResolvePath(destinationFolder, name);
    platform::FileAttributeData source;
    if (!platform::GetFileAttributesEx(path, source) ||
        (source.attributes & platform::faDirectory) != 0) {
        return;
    }
    if (!Options.ReplaceReadOnly && (entry.Header.ExternalAttributes & AttrReadOnly) != 0) {
        return;
    }
    const auto entryStamp = static_cast<std::int32_t>(entry.Header.DosDateTime());
    const auto fileStamp =
        static_cast<std::int32_t>(platform::FileTimeToDosDateTime(source.lastWriteTime));
    if (!OverwriteAllowed(path, name, fileStamp, entryStamp)) {
        return;
    }
    RestoreText base(storedNameBase_, ResolvePath(BaseDir, {}));
    if (transactionDepth_ == 0) {
        throw EZipException(native::UpdateNotStarted, this);
    }
    PrepareEntryFromFile(index, path, source, true);
    directory.ItemAt(index).Operation = poUpdate;
}

void TZipBaseArchiver::PrepareEntryFromFile(int index, const std::string& path,
                                            const platform::FileAttributeData& source,
                                            bool keepName) {
    TZipDirArray& directory = dirManager_->Directory;
    std::string storedName = MakeStoredName(path, storedNameBase_, Options.StorePath);
    if (storedName.empty()) {
        return;
    }
    const bool isFolder = (source.attributes & platform::faDirectory) != 0;
    const std::uint32_t dosTime = platform::FileTimeToDosDateTime(source.lastWriteTime);
    const std::uint32_t attributes = source.attributes;
    if (isFolder) {
        storedName += '/';
    }
    // Name bytes that stay as they were keep telling their encoding. A name
    // that is no plain path ("x.", "./a", "a//b", "a\b") is kept as it
    // is when it led to this very file.
    const CentralFileHeader old = directory.ItemAt(index).Header;
    const bool sameName = keepName || directory.ItemAt(index).Name == storedName;
    if (!keepName) {
        directory.SetItemName(index, platform::Utf8ToAnsi(storedName));
    }
    TDirItem& entry = directory.ItemAt(index);
    entry.Modified = true;
    entry.SetSourceFileName(path);
    entry.SetEntryPassword(Password);
    entry.CompressMode = isFolder ? 0 : CompressionMode();
    CentralFileHeader& h = entry.Header;
    h = CentralFileHeader{};
    h.VersionMadeBy = Options.OEMFileNames ? VersionOem : VersionAnsi;
    h.VersionNeeded = h.VersionMadeBy;
    h.Flags = isFolder ? FlagFolder : 0;
    if (!Password.empty()) {
        h.Flags |= FlagEncrypted;
    }
    if (sameName) {
        h.Flags |= old.Flags & FlagUtf8Name;
    }
    h.Method = isFolder ? MethodStored : static_cast<std::uint16_t>(CompressionMethod());
    h.ModTime = static_cast<std::uint16_t>(dosTime & 0xFFFF);
    h.ModDate = static_cast<std::uint16_t>(dosTime >> 16);
    h.Crc32 = isFolder ? 0 : 0xFFFFFFFF;
    h.NameLength = static_cast<std::uint16_t>(dirManager_->StoredNameOf(entry).size());
    h.ExternalAttributes = attributes;
    // The time blocks kept from the old record tell the new time.
    if (!entry.ExtraFields().empty()) {
        RestampTimeBlocks(entry.EditExtraFields(), &source.lastWriteTime);
    }
}

}  // namespace archive
