#include "archive/ZipArchiver.h"

#include <algorithm>

#include "archive/ZipConst.h"
#include "archive/commit/ArchiveCommit.h"
#include "archive/extract/FailureDecision.h"
#include "platform/Dialogs.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Stream.h"

namespace archive {

std::uint32_t ShareModeFlags(TZipFileShareMode mode) {
    switch (mode) {
        case smShareCompat:
            return platform::fmShareCompat;
        case smShareExclusive:
            return platform::fmShareExclusive;
        case smShareDenyWrite:
            return platform::fmShareDenyWrite;
        case smShareDenyRead:
            return platform::fmShareDenyRead;
        case smShareDenyNone:
            return platform::fmShareDenyNone;
    }
    return platform::fmShareDenyNone;
}

namespace {

// An archive opened with `mode` may be written (a new one gets its empty
// directory at Close).
bool MayWrite(std::uint32_t mode) {
    const std::uint32_t access = mode & 0x000F;
    return mode == OpenModeCreate || access == platform::fmOpenWrite ||
           access == platform::fmOpenReadWrite;
}

bool IsSharingConflict(const platform::EStreamError& e) {
    return e.ErrorCode == platform::ERROR_SHARING_VIOLATION;
}

// A read-write open places its sharing marks on the file it found. An
// update that renamed a new archive over the name in the meantime leaves
// it holding the old file, which no one reads any more: such an open is
// made again, and then meets the marks of whoever holds the new archive.
std::unique_ptr<platform::TFileStream> OpenCurrentFile(const std::string& name,
                                                       std::uint32_t mode) {
    constexpr int kTries = 4;
    for (int i = 1;; ++i) {
        auto stream = std::make_unique<platform::TFileStream>(name, mode);
        if (mode != OpenModeReadWrite || i == kTries || platform::NamesOpenFile(name, *stream)) {
            return stream;
        }
    }
}

}  // namespace

void TZipSpanningOptions::SetCustomVolumeSize(std::int64_t size) {
    static constexpr std::int64_t kMinVolume = 65536;
    customVolumeSize_ = std::max(size, kMinVolume);
}

// --- construction and properties ------------------------------------------------------

TZipBaseArchiver::TZipBaseArchiver(std::string name) : TComponent(std::move(name)) {
    UpdateCompressionMethod();
}

TZipBaseArchiver::~TZipBaseArchiver() {
    Close();
}

void TZipBaseArchiver::SetCompressionLevel(TZipCompressionLevel level) {
    static constexpr std::uint8_t kModeOfLevel[] = {0, 1, 6, 9};
    compressionLevel_ = level;
    compressionMode_ = kModeOfLevel[level];
    UpdateCompressionMethod();
}

void TZipBaseArchiver::SetCompressionMode(int mode) {
    if (mode < 0 || mode > 9) {
        throw EZipException(native::InvalidCompressionMode, this);
    }
    compressionMode_ = static_cast<std::uint8_t>(mode);
    if (mode == 0) {
        compressionLevel_ = clNone;
    } else if (mode <= 3) {
        compressionLevel_ = clFastest;
    } else if (mode <= 6) {
        compressionLevel_ = clNormal;
    } else {
        compressionLevel_ = clMax;
    }
    UpdateCompressionMethod();
}

std::string TZipBaseArchiver::CurrentVersion() const {
    return "2.77 ";
}

void TZipBaseArchiver::UpdateCompressionMethod() {
    compressionMethod_ = -1;
}

TZipArchiver::TZipArchiver(std::string name) : TZipBaseArchiver(std::move(name)) {
    UpdateCompressionMethod();
}

// Closing here lets a transaction still open be committed by the most
// derived Commit.
TZipArchiver::~TZipArchiver() {
    Close();
}

void TZipArchiver::UpdateCompressionMethod() {
    compressionMethod_ = CompressionMode() != 0 ? 8 : 0;
}

void ApplyFormValues(TZipArchiver& zip) {
    zip.ExtractCorruptedFiles = false;
    zip.SetCompressionLevel(clFastest);
    zip.SetCompressionMode(1);
    zip.SpanningMode = smNone;
    zip.SpanningOptions.AdvancedNaming = true;
    zip.SpanningOptions.VolumeSize = vsAutoDetect;
    zip.Options.FlushBuffers = true;
    zip.Options.OEMFileNames = true;
    zip.InMemory = false;
    zip.Zip64Mode = zmDisabled;
}

// --- opening and closing ------------------------------------------------------------

void TZipBaseArchiver::Open() {
    if (!InMemory && platform::ExtractFileName(FileName).empty()) {
        throw EZipException(native::BlankFileName, this);
    }
    // Read-write when the file can be opened so, else read-only.
    if (InMemory || !platform::FileExists(FileName)) {
        OpenArchive(OpenModeCreate);
        return;
    }
    if (!isOpen_) {
        OpenArchive(OpenModeReadWrite, true);
        return;
    }
    // An archive open here holds sharing marks a read-write open of the same
    // file may run into: the file is tried while they are held, before the
    // open archive is closed.
    std::uint32_t mode = OpenModeReadOnly;
    bool held = false;
    try {
        platform::TFileStream probe(FileName, OpenModeReadWrite);
        mode = OpenModeReadWrite;
    } catch (const platform::EStreamError& e) {
        held = IsSharingConflict(e);
    }
    OpenArchive(mode);
    heldByAnother_ = held;
}

void TZipBaseArchiver::OpenArchive(std::uint32_t mode) {
    OpenArchive(mode, false);
}

void TZipBaseArchiver::OpenArchive(std::uint32_t mode, bool orReadOnly) {
    // A name, an existing file unless one is created, and a file on disk.
    if (!InMemory && platform::ExtractFileName(FileName).empty()) {
        throw EZipException(native::BlankArchiveName, this);
    }
    // Open asks for the read-only fallback when it has just found the file.
    if (mode != OpenModeCreate && !orReadOnly && !platform::FileExists(FileName)) {
        throw EZipException(native::ArchiveNotFound, this, {FileName});
    }
    // In-memory archives are never built in this program.
    if (InMemory) {
        throw EZipException(native::InMemoryCreateOnly, this);
    }
    // Whatever was open is closed first.
    Close();
    heldByAnother_ = false;
    if (mode == OpenModeCreate) {
        // An empty file; nothing is written until Close or a commit.
        archiveStream_ = std::make_unique<platform::TFileStream>(FileName, platform::fmCreate);
        dirManager_ = std::make_unique<TZipDirManager>(archiveStream_.get(), this, true);
    } else {
        // The open modes are the stream's mode and sharing flags.
        SpanningMode = smNone;
        try {
            archiveStream_ = OpenCurrentFile(FileName, mode);
        } catch (const platform::EStreamError& e) {
            if (!orReadOnly) {
                throw;
            }
            heldByAnother_ = IsSharingConflict(e);
            mode = OpenModeReadOnly;
            archiveStream_ = std::make_unique<platform::TFileStream>(FileName, mode);
        }
        dirManager_ = std::make_unique<TZipDirManager>(archiveStream_.get(), this, false);
        dirManager_->ProbeEndRecord();
        dirManager_->ReadDirectory();
    }
    openMode_ = mode;
    isOpen_ = true;
    if (AfterOpen) {
        AfterOpen(*this);
    }
}

void TZipBaseArchiver::Close() {
    if (isOpen_) {
        try {
            if (transactionDepth_ > 0) {
                Commit();
            }
            if (archiveStream_ && MayWrite(openMode_) && archiveStream_->Size() == 0) {
                dirManager_->WriteDirectory(true);
            }
        } catch (...) {
            // Close never raises; the archive keeps what was written.
        }
        isOpen_ = false;
    }
    transactionDepth_ = 0;
    ReleaseArchive();
}

void TZipBaseArchiver::ReleaseArchive() {
    dirManager_.reset();
    archiveStream_.reset();
}

// --- the transaction bracket ---------------------------------------------------------

void TZipBaseArchiver::BeginTransaction() {
    if (transactionDepth_ == 0) {
        if (!isOpen_) {
            Open();
        }
        // The failures counted are those of the transaction's entry loop
        // and its commit.
        failedCount_ = 0;
        lastEntryFailure_.clear();
        if (openMode_ == OpenModeReadOnly && dirManager_->OwnStream && CommitCopyName.empty()) {
            if (heldByAnother_) {
                throw EZipException(native::ArchiveInUse, this, {FileName});
            }
            throw EZipException(native::ReadOnlyArchive, this);
        }
        TZipDirArray& directory = dirManager_->Directory;
        for (int i = 0; i < directory.Count(); ++i) {
            directory.ItemAt(i).Modified = false;
        }
        dirManager_->SavedDirectory.Assign(directory);
    }
    ++transactionDepth_;
}

void TZipBaseArchiver::EndTransaction() {
    if (transactionDepth_ <= 0) {
        return;
    }
    if (transactionDepth_ == 1) {
        Commit();  // sets the depth to 0 first
    } else {
        --transactionDepth_;
    }
}

void TZipBaseArchiver::Commit() {
    if (transactionDepth_ == 0) {
        return;
    }
    transactionDepth_ = 0;
    ArchiveCommit(*this).Run();
}

void TZipBaseArchiver::AbandonTransaction() {
    CommitCopyName.clear();
    if (transactionDepth_ <= 0) {
        return;
    }
    transactionDepth_ = 0;
    // Nothing was committed: the entry list goes back to what the file holds.
    if (dirManager_) {
        dirManager_->Directory.Assign(dirManager_->SavedDirectory);
    }
}

// --- dispatchers -------------------------------------------------------------------

void TZipBaseArchiver::DoOverallProgress(double progress, TZipProcessOperation operation,
                                         TZipProgressPhase phase, bool& cancel) {
    if (OnOverallProgress) {
        OnOverallProgress(*this, progress, operation, phase, cancel);
    }
}

void TZipBaseArchiver::DoFileProgress(const std::string& fileName, double progress,
                                      TZipProcessOperation operation, TZipProgressPhase phase,
                                      bool& cancel) {
    if (OnFileProgress) {
        OnFileProgress(*this, fileName, progress, operation, phase, cancel);
    }
}

void TZipBaseArchiver::DoCopyTempFileProgress(double progress, TZipProgressPhase phase,
                                              bool& cancel) {
    if (OnCopyTempFileProgress) {
        OnCopyTempFileProgress(*this, progress, phase, cancel);
    }
}

bool TZipBaseArchiver::OverwriteAllowed(const std::string& incoming, const std::string& existing,
                                        std::int32_t incomingStamp, std::int32_t existingStamp) {
    switch (Options.OverwriteMode) {
        case omAlways:
            return true;
        case omNever:
            return false;
        case omPrompt: {
            std::string destination = existing;
            bool confirm = false;
            DoConfirmOverwrite(incoming, destination, confirm);
            return confirm;
        }
        case omIfNewer:
            return incomingStamp > existingStamp;
        case omIfOlder:
            return incomingStamp < existingStamp;
    }
    return false;
}

void TZipBaseArchiver::DoConfirmOverwrite(const std::string& sourceFileName,
                                          std::string& destFileName, bool& confirm) {
    if (OnConfirmOverwrite) {
        OnConfirmOverwrite(*this, sourceFileName, destFileName, confirm);
        return;
    }
    using namespace platform;
    const std::string text =
        "Overwrite file \"" + destFileName + "\" with \"" + sourceFileName + "\"";
    switch (Dialogs().MessageDlg(text, MsgDlgType::mtConfirmation,
                                 mbYes | mbNo | mbNoToAll | mbYesToAll, mbYes)) {
        case mrYes:
            confirm = true;
            break;
        case mrNoToAll:
            confirm = false;
            Options.OverwriteMode = omNever;
            break;
        case mrYesToAll:
            confirm = true;
            Options.OverwriteMode = omAlways;
            break;
        default:
            confirm = false;
            break;
    }
}

void TZipBaseArchiver::DoConfirmProcessFile(const std::string& fileName,
                                            TZipProcessOperation operation, bool& confirm) {
    if (OnConfirmProcessFile) {
        OnConfirmProcessFile(*this, fileName, operation, confirm);
    }
}

void TZipBaseArchiver::DoPassword(const std::string& fileName, std::string& newPassword,
                                  bool& skipFile) {
    if (OnPassword) {
        OnPassword(*this, fileName, newPassword, skipFile);
    }
}

void TZipBaseArchiver::DoProcessFileFailure(const std::string& fileName,
                                            TZipProcessOperation operation, int nativeError,
                                            int errorCode, const std::string& errorMessage,
                                            TZipAction& action) {
    using namespace platform;
    // The handler decides when there is one.
    action = fxaIgnore;
    if (OnProcessFileFailure) {
        OnProcessFileFailure(*this, fileName, operation, nativeError, errorCode, errorMessage,
                             action);
        return;
    }
    // Else the user: an aborted open aborts, a name too long may be passed
    // over, any other failure may be retried.
    int answer = mrAbort;
    if (nativeError == native::OpenAborted) {
        answer = mrAbort;
    } else if (nativeError == native::NameTooLong) {
        answer = Dialogs().MessageDlg(errorMessage, MsgDlgType::mtConfirmation, mbAbort | mbIgnore,
                                      static_cast<MsgDlgBtn>(0));
    } else {
        answer =
            Dialogs().MessageDlg(FailureQuestion(errorMessage, failureReason_),
                                 MsgDlgType::mtConfirmation, mbAbort | mbRetry | mbIgnore, mbRetry);
    }
    if (answer == mrRetry) {
        action = fxaRetry;
    } else if (answer == mrIgnore) {
        action = fxaIgnore;
    } else {
        action = fxaAbort;
    }
}

void TZipBaseArchiver::DoRequestBlankVolume(int volumeNumber, std::string& volumeFileName,
                                            bool& cancel) {
    if (OnRequestBlankVolume) {
        OnRequestBlankVolume(*this, volumeNumber, volumeFileName, cancel);
    }
}

void TZipBaseArchiver::DoRequestFirstVolume(std::string& volumeFileName, bool& cancel) {
    if (OnRequestFirstVolume) {
        OnRequestFirstVolume(*this, volumeFileName, cancel);
    }
}

void TZipBaseArchiver::DoRequestLastVolume(std::string& volumeFileName, bool& cancel) {
    if (OnRequestLastVolume) {
        OnRequestLastVolume(*this, volumeFileName, cancel);
    }
}

void TZipBaseArchiver::DoRequestMiddleVolume(int volumeNumber, std::string& volumeFileName,
                                             bool& cancel) {
    if (OnRequestMiddleVolume) {
        OnRequestMiddleVolume(*this, volumeNumber, volumeFileName, cancel);
    }
}

void TZipBaseArchiver::DoDiskFull(int volumeNumber, const std::string& volumeFileName,
                                  bool& cancel) {
    if (OnDiskFull) {
        OnDiskFull(*this, volumeNumber, volumeFileName, cancel);
    }
}

void TZipBaseArchiver::DoHiddenEvent() {}

void TZipBaseArchiver::DoStoreFile(std::string& fileName, std::uint32_t& fileAttr,
                                   std::string& comment, const std::string& originalFileName) {
    if (OnStoreFile) {
        OnStoreFile(*this, fileName, fileAttr, comment, originalFileName);
    }
}

void TZipBaseArchiver::DoExtractFile(std::string& fileName, std::uint32_t& fileAttr,
                                     const std::string& comment) {
    if (OnExtractFile) {
        OnExtractFile(*this, fileName, fileAttr, comment);
    }
}

}  // namespace archive
