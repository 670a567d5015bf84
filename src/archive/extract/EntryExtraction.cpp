#include "archive/extract/EntryExtraction.h"

#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "archive/codec/ZipZlib.h"
#include "archive/names/ZipPaths.h"
#include "archive/names/ZipStrFunc.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Stream.h"
#include "platform/TargetPath.h"

namespace archive {

namespace {

// A file sink that takes no more than what is left of the call's budget: a
// write past it comes back short, so decoding fails there.
class BudgetSink : public EntrySink {
  public:
    BudgetSink(platform::TFileStream& file, std::uint64_t budget) : file_(file), budget_(budget) {}

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

// DOS date-times compare as signed 32-bit numbers, date in the high half.
std::int32_t DosStamp(std::uint32_t dosDateTime) {
    return static_cast<std::int32_t>(dosDateTime);
}

bool IsFolderEntry(const TDirItem& entry) {
    return entry.IsFolder() || (!entry.Name.empty() && entry.Name.back() == '/');
}

}  // namespace

EntryExtraction::EntryExtraction(TZipBaseArchiver& archiver) : archiver_(archiver) {}

EntryExtraction::~EntryExtraction() = default;

void EntryExtraction::StartCall() {
    budget_ = MaxBytesPerCall;
    lastDate_.reset();
    destination_.reset();
}

void EntryExtraction::ToFile(int index, const std::string& entryName,
                             const std::string& destinationFolder) {
    const TDirItem& entry = archiver_.dirManager_->Directory.ItemAt(index);
    std::string name = entryName;
    std::uint32_t attributes = entry.Header.ExternalAttributes;
    archiver_.DoExtractFile(name, attributes, entry.Comment());
    const std::unique_ptr<platform::TargetPath> target =
        ContainedTarget(name, destinationFolder, IsFolderEntry(entry));
    if (IsFolderEntry(entry)) {
        return;
    }
    const bool exists = target->IsFile();
    if (exists && !MayReplace(entry, name, *target)) {
        return;
    }
    // Entries that together would write more than the call may are refused
    // before anything is written.
    if (entry.UncompressedSize() > budget_) {
        throw EZipException(native::CorruptedEntry, &archiver_);
    }
    std::unique_ptr<platform::TFileStream> file = CreateTarget(*target, exists);
    const std::exception_ptr failure = WriteWithinBudget(index, *file);
    CloseTarget(entry, target->Given(), std::move(file), attributes, failure != nullptr);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

// Every output stays below the destination folder: a name that is absolute,
// has a drive or server, or climbs out with "..", is refused, and so is a
// symbolic link on the way. Without CreateDirs the entry's folders are
// dropped from the name. The target is looked up once, below the
// destination as resolved for the call; only when folders had to be made
// is it looked up again, from the start.
std::unique_ptr<platform::TargetPath> EntryExtraction::ContainedTarget(
    std::string name, const std::string& destinationFolder, bool folderEntry) {
    const TZipOptions& options = archiver_.Options;
    const std::string shownTarget = platform::NormalizeSeparators(destinationFolder + name);
    if (!IsContainedEntryName(name)) {
        throw EZipException(native::CannotCreateFile, &archiver_, {shownTarget});
    }
    if (!options.CreateDirs) {
        name = LastNameComponent(name);
    }
    if (!destination_ || destination_->Given() != destinationFolder) {
        destination_ = std::make_unique<platform::TargetFolder>(destinationFolder);
    }
    auto target = std::make_unique<platform::TargetPath>(*destination_, name);
    if (target->LinkBelowFolder()) {
        throw EZipException(native::CannotCreateFile, &archiver_, {shownTarget});
    }
    // A file whose folder is there as a folder needs none made.
    if (options.CreateDirs && (folderEntry || !target->FoldersReady())) {
        const std::string folder = platform::NormalizeSeparators(
            destinationFolder + ExtractFolderPart(ReplaceChar(name, '/', '\\')));
        destination_.reset();
        if (!platform::ForceDirectories(folder)) {
            throw EZipException(native::CannotCreateFolder, &archiver_, {folder});
        }
        if (!folderEntry) {
            target = std::make_unique<platform::TargetPath>(destinationFolder, name);
        }
    }
    return target;
}

// A read-only file stays unless ReplaceReadOnly; any other file as the
// overwrite mode answers.
bool EntryExtraction::MayReplace(const TDirItem& entry, const std::string& name,
                                 const platform::TargetPath& target) {
    if (!archiver_.Options.ReplaceReadOnly && (target.Attributes() & platform::faReadOnly) != 0) {
        return false;
    }
    const std::int32_t entryStamp = DosStamp(entry.Header.DosDateTime());
    const auto fileStamp = static_cast<std::int32_t>(target.Age());
    return archiver_.OverwriteAllowed(name, target.Given(), entryStamp, fileStamp);
}

// A file that was there goes first, by name: the overwrite question may have
// let others act on it since it was looked up. Its read-only attribute,
// which would keep it from being deleted, is cleared only when the look-up
// saw it: changing the attributes of a file about to go costs the file
// system a change of its own.
std::unique_ptr<platform::TFileStream> EntryExtraction::CreateTarget(
    const platform::TargetPath& target, bool exists) {
    constexpr std::uint32_t mode =
        platform::fmCreate | platform::fmShareExclusive | platform::fmNoFollow;
    try {
        if (exists) {
            if ((target.Attributes() & platform::faReadOnly) != 0) {
                platform::SetFileAttributes(target.Given(), 0);
            }
            platform::DeleteFile(target.Given());
            return std::make_unique<platform::TFileStream>(target.Given(), mode);
        }
        return std::make_unique<platform::TFileStream>(target, mode);
    } catch (const platform::EStreamError&) {
        throw EZipException(native::CannotCreateFile, &archiver_, {target.Given()});
    }
}

std::exception_ptr EntryExtraction::WriteWithinBudget(int index, platform::TFileStream& file) {
    std::exception_ptr failure;
    BudgetSink sink(file, budget_);
    try {
        ToSink(index, sink);
    } catch (...) {
        failure = std::current_exception();
    }
    budget_ -= sink.Written();
    return failure;
}

void EntryExtraction::CloseTarget(const TDirItem& entry, const std::string& target,
                                  std::unique_ptr<platform::TFileStream> file,
                                  std::uint32_t attributes, bool failed) {
    file->SetLastWriteTime(FileTimeOf(entry.Header.DosDateTime()));
    if (archiver_.Options.FlushBuffers && IsRemovablePath(target)) {
        file->Flush();
    }
    if (archiver_.cancelled_ || failed) {
        file.reset();
        platform::DeleteFile(target);
        return;
    }
    if (archiver_.Options.SetAttributes) {
        file->SetAttributes(attributes);
    }
}

void EntryExtraction::ToSink(int index, EntrySink& target) {
    const TZipDirArray& directory = archiver_.dirManager_->Directory;
    if (index < 0 || index >= directory.Count()) {
        throw EZipException(native::ExtractIndex, &archiver_);
    }
    const TDirItem& entry = directory.ItemAt(index);
    platform::TFileStream& archive = *archiver_.archiveStream_;
    const std::int64_t dataStart = DataStart(entry);
    const std::uint16_t method = entry.Header.Method;
    if (method == MethodDeflate64) {
        throw EZipException(native::Deflate64, nullptr);
    }
    DecodeResult decoded;
    if (dataStart >= 0 && (method == MethodStored || method == MethodDeflate)) {
        archive.SetPosition(dataStart);
        decoded = DecompressEntryData(
            archive, target, entry, DataLength(entry, dataStart),
            archiver_.CodecContext(ReplaceChar(entry.Name, '/', '\\'), entry.Operation));
    }
    const bool passed = decoded.Ok && decoded.Written == entry.UncompressedSize() &&
                        decoded.Crc32 == entry.Header.Crc32;
    if (!passed && !archiver_.cancelled_ && !archiver_.ExtractCorruptedFiles) {
        throw EZipException(native::CorruptedEntry, &archiver_);
    }
}

// The local header gives the lengths of its own name and extra field.
std::int64_t EntryExtraction::DataStart(const TDirItem& entry) {
    platform::TFileStream& archive = *archiver_.archiveStream_;
    const auto headerAt = static_cast<std::int64_t>(entry.LocalHeaderOffset());
    std::uint8_t raw[LocalHeaderSize];
    archive.SetPosition(headerAt);
    if (archive.Read(raw, sizeof raw) != sizeof raw) {
        return -1;
    }
    ByteCursor in(raw);
    const LocalFileHeader local = LocalFileHeader::Decode(in);
    return headerAt + LocalHeaderSize + local.NameLength + local.ExtraLength;
}

// The data never run into the central directory.
std::uint64_t EntryExtraction::DataLength(const TDirItem& entry, std::int64_t dataStart) const {
    const std::int64_t end = archiver_.dirManager_->End.DirectoryOffset;
    if (dataStart >= end) {
        return 0;
    }
    return std::min<std::uint64_t>(entry.CompressedSize(),
                                   static_cast<std::uint64_t>(end - dataStart));
}

platform::FileTime EntryExtraction::FileTimeOf(std::uint32_t dosDateTime) {
    if (!lastDate_ || lastDate_->first != dosDateTime) {
        lastDate_.emplace(dosDateTime, platform::DosDateTimeToFileTime(dosDateTime));
    }
    return lastDate_->second;
}

}  // namespace archive
