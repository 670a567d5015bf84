#include "archive/extract/EntryExtraction.h"

#include "archive/extract/FailureDecision.h"

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
// write past it comes back short, so decoding fails there. A write the file
// refused is told apart from the budget by its code.
class BudgetSink : public EntrySink {
  public:
    BudgetSink(platform::TFileStream& file, std::uint64_t budget) : file_(file), budget_(budget) {}

    std::size_t Write(const void* buffer, std::size_t count) override {
        const std::size_t allowed =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, budget_ - written_));
        const std::size_t taken = file_.Write(buffer, allowed);
        if (taken < allowed && writeError_ == platform::ERROR_SUCCESS) {
            writeError_ = platform::GetLastError();
        }
        written_ += taken;
        return taken;
    }
    std::uint64_t Written() const { return written_; }
    // The code of the first write the file refused; 0 when none was.
    platform::DWORD WriteError() const { return writeError_; }

  private:
    platform::TFileStream& file_;
    std::uint64_t budget_;
    std::uint64_t written_ = 0;
    platform::DWORD writeError_ = platform::ERROR_SUCCESS;
};

// DOS date-times compare as signed 32-bit numbers, date in the high half.
std::int32_t DosStamp(std::uint32_t dosDateTime) {
    return static_cast<std::int32_t>(dosDateTime);
}

bool IsFolderEntry(const TDirItem& entry) {
    return entry.IsFolder() || (!entry.Name.empty() && entry.Name.back() == '/');
}

// Why an entry fails, where no system code tells.
const char* const kUnsafeName = "unsafe name, it leads out of the destination folder";
const char* const kDamaged = "the entry's data are damaged";
const char* const kUndecodable = "the entry's compression method is not supported";
const char* const kOverBudget = "the entries are larger than one extraction may write";

// The failure of one entry, with why it failed for the question to the user.
EZipException Failure(int nativeError, const TComponent* archiver, const std::string& path,
                      std::string reason) {
    EZipException failure = path.empty() ? EZipException(nativeError, archiver)
                                         : EZipException(nativeError, archiver, {path});
    failure.Reason = std::move(reason);
    return failure;
}

}  // namespace

EntryExtraction::EntryExtraction(TZipBaseArchiver& archiver) : archiver_(archiver) {}

EntryExtraction::~EntryExtraction() = default;

void EntryExtraction::StartCall() {
    budget_ = MaxBytesPerCall;
    lastDate_.reset();
    destination_.reset();
}

void EntryExtraction::EndCall() {
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
    if (!target || IsFolderEntry(entry)) {
        return;
    }
    const bool exists = target->IsFile();
    if (exists && !MayReplace(entry, name, *target)) {
        return;
    }
    // Entries that together would write more than the call may are refused
    // before anything is written.
    if (entry.UncompressedSize() > budget_) {
        throw Failure(native::CorruptedEntry, &archiver_, {}, kOverBudget);
    }
    // A file that was there goes first, from its folder: the overwrite
    // question may have let others act on it since it was looked up.
    if (exists && !target->DeleteExisting()) {
        throw Failure(native::CannotCreateFile, &archiver_, target->Given(),
                      FailureReasonOf(platform::GetLastError()));
    }
    std::unique_ptr<platform::TFileStream> file = CreateTarget(*target);
    const std::exception_ptr failure = WriteWithinBudget(index, *file);
    const std::exception_ptr closing =
        CloseTarget(entry, *target, std::move(file), attributes, failure != nullptr);
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (closing) {
        std::rethrow_exception(closing);
    }
}

// Every output stays below the destination folder: a name that is absolute,
// has a drive or server, or climbs out with "..", is refused, and so is a
// symbolic link on the way. Without CreateDirs the entry's folders are
// dropped from the name, and a folder entry makes nothing.
std::unique_ptr<platform::TargetPath> EntryExtraction::ContainedTarget(
    std::string name, const std::string& destinationFolder, bool folderEntry) {
    const TZipOptions& options = archiver_.Options;
    const std::string shownTarget = platform::NormalizeSeparators(destinationFolder + name);
    if (!IsContainedEntryName(name)) {
        throw Failure(native::CannotCreateFile, &archiver_, shownTarget, kUnsafeName);
    }
    if (!options.CreateDirs) {
        if (folderEntry) {
            return nullptr;
        }
        name = LastNameComponent(name);
    }
    if (!destination_ || destination_->Given() != destinationFolder) {
        destination_ = std::make_unique<platform::TargetFolder>(destinationFolder);
    }
    auto target = std::make_unique<platform::TargetPath>(*destination_, name, options.CreateDirs,
                                                         folderEntry);
    const platform::DWORD error = target->Error();
    if (error == platform::ERROR_SUCCESS) {
        return target;
    }
    // Folders that could not be made are named as the whole folder of the
    // entry; a link on the way refuses the file itself.
    if (target->InFolder() && options.CreateDirs &&
        error != platform::ERROR_CANT_RESOLVE_FILENAME) {
        const std::string folder = platform::NormalizeSeparators(
            destinationFolder +
            (folderEntry ? name : ExtractFolderPart(ReplaceChar(name, '/', '\\'))));
        throw Failure(native::CannotCreateFolder, &archiver_, folder, FailureReasonOf(error));
    }
    throw Failure(native::CannotCreateFile, &archiver_, shownTarget, FailureReasonOf(error));
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

// The file is made anew, exclusively, in the folder it was resolved in.
std::unique_ptr<platform::TFileStream> EntryExtraction::CreateTarget(platform::TargetPath& target) {
    try {
        return std::make_unique<platform::TFileStream>(
            target, platform::fmCreate | platform::fmShareExclusive);
    } catch (const platform::EStreamError& e) {
        throw Failure(native::CannotCreateFile, &archiver_, target.Given(),
                      FailureReasonOf(e.ErrorCode));
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
    // A write the file refused is what failed, whatever decoding made of it.
    if (sink.WriteError() != platform::ERROR_SUCCESS) {
        failure = std::make_exception_ptr(
            Failure(native::StreamWrite, &archiver_, {}, FailureReasonOf(sink.WriteError())));
    }
    return failure;
}

std::exception_ptr EntryExtraction::CloseTarget(const TDirItem& entry, platform::TargetPath& target,
                                                std::unique_ptr<platform::TFileStream> file,
                                                std::uint32_t attributes, bool failed) {
    const bool drop = failed || archiver_.cancelled_;
    platform::DWORD error = platform::ERROR_SUCCESS;
    const auto check = [&error](bool done) {
        if (!done && error == platform::ERROR_SUCCESS) {
            error = platform::GetLastError();
        }
    };
    if (!drop) {
        check(file->SetLastWriteTime(FileTimeOf(entry.Header.DosDateTime())));
        if (archiver_.Options.FlushBuffers && IsRemovablePath(target.Given())) {
            check(file->Flush());
        }
        if (archiver_.Options.SetAttributes) {
            check(file->SetAttributes(attributes));
        }
    }
    check(file->Close());
    if (!drop && error == platform::ERROR_SUCCESS) {
        return nullptr;
    }
    // A file that is not whole does not stay.
    if (!target.DeleteMade() && !failed && error == platform::ERROR_SUCCESS) {
        return std::make_exception_ptr(Failure(native::CannotDeleteFile, &archiver_, target.Given(),
                                               FailureReasonOf(platform::GetLastError())));
    }
    if (failed || error == platform::ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_exception_ptr(
        Failure(native::StreamWrite, &archiver_, {}, FailureReasonOf(error)));
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
        throw Failure(native::Deflate64, nullptr, {}, kUndecodable);
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
        throw Failure(native::CorruptedEntry, &archiver_, {},
                      method == MethodStored || method == MethodDeflate ? kDamaged : kUndecodable);
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
