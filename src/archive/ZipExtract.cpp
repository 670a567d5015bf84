// Extracting entries: the selection by mask, writing one entry into a file
// below the destination folder, and decoding one entry into any sink with
// its size and CRC-32 check.
#include <exception>
#include <memory>

#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "archive/ZipPaths.h"
#include "archive/ZipSelect.h"
#include "archive/ZipStrFunc.h"
#include "archive/ZipZlib.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Stream.h"

namespace archive {

namespace {

// A file sink that takes no more than what is left of the call's budget: a
// write past it comes back short, so decoding fails there.
class TBudgetSink : public TZipDataSink {
  public:
    TBudgetSink(platform::TFileStream& file, std::uint64_t budget) : file_(file), budget_(budget) {}

    std::size_t Write(const void* buffer, std::size_t count) override {
        const std::size_t allowed =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, budget_ - written_));
        const std::size_t taken = file_.Write(buffer, allowed);
        written_ += taken;
        return taken;
    }
    std::uint64_t Written() const { return written_; }

  private:
    platform::TFileStream& file_;
    std::uint64_t budget_;
    std::uint64_t written_ = 0;
};

// The first symbolic link among the paths below `folder` that `name` walks
// through (its folders, then itself); empty when there is none.
std::string LinkOnTheWay(const std::string& folder, const std::string& name) {
    std::string path = folder;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool delimiter = platform::IsPathDelimiter(name[i]);
        if (delimiter && platform::IsSymbolicLink(path)) {
            return path;
        }
        path += name[i];
    }
    return platform::IsSymbolicLink(path) ? path : std::string();
}

// DOS date-times compare as signed 32-bit numbers, date in the high half.
std::int32_t DosStamp(std::uint32_t dosDateTime) {
    return static_cast<std::int32_t>(dosDateTime);
}

}  // namespace

void TZipBaseArchiver::ExtractByMask(const std::string& mask, std::uint32_t searchAttr,
                                     const std::string& exclusionMask, MaskText maskText) {
    // 1-2.
    if (!isOpen_) {
        throw EZipException(native::ArchiveNotOpen, this);
    }
    if (transactionDepth_ > 0) {
        throw EZipException(native::UpdateNotEnded, this);
    }
    // 3.
    SelectEntries(dirManager_->Directory, mask, searchAttr, exclusionMask, Options, maskText);
    // 4.
    extractBudget_ = MaxExtractBytesPerCall;
    // Each folder is read once for case variants, not once per new file.
    const platform::FolderNameCacheScope folderNames;
    ProcessSelectedEntries(poExtract);
}

void TZipBaseArchiver::ExtractEntry(int index, const std::string& entryName,
                                    const std::string& destinationFolder) {
    const TDirItem& entry = dirManager_->Directory.ItemAt(index);
    // 1.
    std::string name = entryName;
    std::uint32_t attr = entry.Header.ExternalAttributes;
    DoExtractFile(name, attr, entry.Comment);
    // 2. Every output stays below the destination folder: a name that is
    // absolute, has a drive or server, or climbs out with "..", is refused,
    // and so is a symbolic link on the way.
    const std::string shownTarget = platform::NormalizeSeparators(destinationFolder + name);
    if (!IsContainedEntryName(name)) {
        throw EZipException(native::CannotCreateFile, this, {shownTarget});
    }
    // 3.
    if (!Options.CreateDirs) {
        name = LastNameComponent(name);
    }
    if (!LinkOnTheWay(destinationFolder, name).empty()) {
        throw EZipException(native::CannotCreateFile, this, {shownTarget});
    }
    if (Options.CreateDirs) {
        const std::string folder = platform::NormalizeSeparators(
            destinationFolder + ExtractFolderPart(ReplaceChar(name, '/', '\\')));
        if (!platform::ForceDirectories(folder)) {
            throw EZipException(native::CannotCreateFolder, this, {folder});
        }
    }
    // 4.
    if (entry.IsFolder() || (!entry.Name.empty() && entry.Name.back() == '/')) {
        return;
    }
    // 5.
    const std::string target = platform::NormalizeSeparators(destinationFolder + name);
    // 6.
    const bool exists = platform::FileExists(target);
    if (exists) {
        if (!Options.ReplaceReadOnly &&
            (platform::GetFileAttributes(target) & platform::faReadOnly) != 0) {
            return;
        }
        const std::int32_t entryStamp = DosStamp(entry.Header.DosDateTime());
        const auto fileStamp = static_cast<std::int32_t>(platform::FileAge(target));
        if (!OverwriteAllowed(name, target, entryStamp, fileStamp)) {
            return;
        }
    }
    // Entries that together would write more than the call may are refused
    // before anything is written.
    if (entry.UncompressedSize() > extractBudget_) {
        throw EZipException(native::CorruptedEntry, this);
    }
    // 7.
    if (exists) {
        platform::SetFileAttributes(target, 0);
        platform::DeleteFile(target);
    }
    std::unique_ptr<platform::TFileStream> file;
    try {
        file = std::make_unique<platform::TFileStream>(
            target, platform::fmCreate | platform::fmShareExclusive | platform::fmNoFollow);
    } catch (const platform::EStreamError&) {
        throw EZipException(native::CannotCreateFile, this, {target});
    }
    // 8.
    std::exception_ptr failure;
    TBudgetSink sink(*file, extractBudget_);
    try {
        ExtractToStream(index, sink);
    } catch (...) {
        failure = std::current_exception();
    }
    extractBudget_ -= sink.Written();
    // 9.
    platform::FileSetDate(target, entry.Header.DosDateTime());
    if (Options.FlushBuffers && IsRemovablePath(target)) {
        file->Flush();
    }
    file.reset();
    if (cancelled_ || failure) {
        platform::DeleteFile(target);
    } else if (Options.SetAttributes) {
        platform::SetFileAttributes(target, attr);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void TZipBaseArchiver::ExtractToStream(int index, TZipDataSink& target) {
    TZipDirArray& directory = dirManager_->Directory;
    // 1.
    if (index < 0 || index >= directory.Count()) {
        throw EZipException(native::ExtractIndex, this);
    }
    const TDirItem& entry = directory.ItemAt(index);
    platform::TFileStream& archive = *archiveStream_;
    // 2-3. The local header gives the lengths of its own name and extra field.
    const auto headerAt = static_cast<std::int64_t>(entry.LocalHeaderOffset());
    std::uint8_t raw[LocalHeaderSize];
    archive.SetPosition(headerAt);
    const bool headerRead = archive.Read(raw, sizeof raw) == sizeof raw;
    TByteCursor in(raw);
    const TZipLocalHeader local = TZipLocalHeader::Decode(in);
    const std::int64_t dataStart =
        headerAt + LocalHeaderSize + local.NameLength + local.ExtraLength;
    // 4. The data never runs into the central directory.
    std::uint64_t length = entry.CompressedSize();
    const std::int64_t end = dirManager_->DirectoryOffset;
    if (dataStart >= end) {
        length = 0;
    } else {
        length = std::min<std::uint64_t>(length, static_cast<std::uint64_t>(end - dataStart));
    }
    // 5.
    const std::uint16_t method = entry.Header.Method;
    if (method == MethodDeflate64) {
        throw EZipException(native::Deflate64, nullptr);
    }
    TZipDecodeResult decoded;
    if (headerRead && (method == MethodStored || method == MethodDeflate)) {
        archive.SetPosition(dataStart);
        decoded =
            DecompressEntryData(archive, target, entry, length,
                                CodecContext(ReplaceChar(entry.Name, '/', '\\'), entry.Operation));
    }
    // 6-7.
    const bool passed = decoded.Ok && decoded.Written == entry.UncompressedSize() &&
                        decoded.Crc32 == entry.Header.Crc32;
    if (!passed && !cancelled_ && !ExtractCorruptedFiles) {
        throw EZipException(native::CorruptedEntry, this);
    }
}

}  // namespace archive
