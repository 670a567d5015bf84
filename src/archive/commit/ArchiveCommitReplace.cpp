// The new archive's own file: made beside the archive under a name of its
// own, written whole, given the archive's mode and owner, flushed and
// renamed over the archive; the folder is flushed last. Until the rename
// the archive is only read, and a failure, an abort or a cancel removes
// the new file. A killed commit leaves its new file behind, which the next
// commit of the same archive removes.
#include <string>

#include "archive/ZipConst.h"
#include "archive/commit/ArchiveCommit.h"
#include "platform/CloneCopy.h"
#include "platform/Files.h"
#include "platform/Stream.h"

namespace archive {

namespace {

// What the user reads about a failure the system gave a code.
std::string Reason(platform::DWORD code) {
    const std::string text = platform::SysErrorMessage(code);
    return text.empty() ? "I/O error " + std::to_string(code) + "." : text;
}

}  // namespace

void ArchiveCommit::FindTarget() {
    if (!copyName_.empty()) {
        if (!platform::PathForNewFile(copyName_, target_.path)) {
            throw platform::EFCreateError(copyName_, platform::GetLastError());
        }
        return;
    }
    const std::string& name = archiver_.FileName;
    switch (platform::FindReplacedFile(name, archive_, target_)) {
        case platform::ReplaceRefusal::None:
            return;
        case platform::ReplaceRefusal::Moved:
            throw EZipException(native::ArchiveInUse, &archiver_, {name});
        case platform::ReplaceRefusal::HardLinked:
            throw EZipException(native::UpdateFailed, &archiver_,
                                {name,
                                 "the file has other hard links, which would keep the old "
                                 "archive; update a copy of its own instead"});
    }
}

// Others may read the new file, none may write it: once renamed it is the
// archive this archiver holds.
void ArchiveCommit::CreateNewFile() {
    platform::RemoveLeftoversBeside(target_.path);
    try {
        newFile_ = platform::CreateFileBeside(target_.path, platform::fmShareDenyWrite, newName_);
    } catch (const platform::EStreamError& e) {
        const std::string& shown = copyName_.empty() ? archiver_.FileName : copyName_;
        throw EZipException(
            native::UpdateFailed, &archiver_,
            {shown, "no new file can be made in its folder: " + Reason(e.ErrorCode)});
    }
    out_ = newFile_.get();
}

// The head up to the cut, the entries from there on, the block that
// follows them, and the directory; a transaction that changed nothing is
// the whole archive.
ArchiveCommit::Ending ArchiveCommit::WriteNewFile(bool changed) {
    archive_.SetPosition(0);
    platform::CloneOrCopy(archive_, *newFile_, changed ? cutPoint_ : archive_.Size());
    if (!changed) {
        return Ending::Whole;
    }
    const bool block = PlanBlock();
    const Ending ending = WriteEntries();
    if (ending != Ending::Whole) {
        return ending;
    }
    if (block) {
        CopyBlock();
    }
    manager_.WriteDirectory(true, newFile_.get());
    AnnounceEnd();
    return Ending::Whole;
}

// The mode and owner before the flush, which then takes them to the disk
// with the data. The flush is of the data and the size: those are what a
// commit must not lose to a power cut, while the file's times need not
// reach the disk.
void ArchiveCommit::SealNewFile() {
    const bool moded = copyName_.empty() ? platform::TakeModeAndOwner(*newFile_, target_)
                                         : platform::TakeDefaultMode(*newFile_);
    if (!moded) {
        throw platform::EWriteError(platform::GetLastError());
    }
    if (archiver_.Options.FlushBuffers && !newFile_->FlushData()) {
        throw platform::EWriteError(platform::GetLastError());
    }
}

void ArchiveCommit::PutNewFileInPlace() {
    if (!platform::RenameOver(newName_, target_.path, copyName_.empty())) {
        throw platform::EWriteError(platform::GetLastError());
    }
    newName_.clear();
}

// The new file took its sharing marks when it was made, before the rename:
// whoever opens the archive's name from then on meets them.
void ArchiveCommit::SwitchToNewFile() {
    manager_.ArchiveStream = newFile_.get();
    archiver_.archiveStream_ = std::move(newFile_);
    archiver_.openMode_ = OpenModeReadWrite;
    archiver_.heldByAnother_ = false;
    if (!copyName_.empty()) {
        archiver_.FileName = copyName_;
    }
}

// The archive is the new one by now, but until its folder is on the disk a
// power cut may still give back the old one.
void ArchiveCommit::FlushFolder() {
    if (archiver_.Options.FlushBuffers && !platform::FlushFolderOf(target_.path)) {
        throw EZipException(native::NotOnDiskYet, &archiver_,
                            {archiver_.FileName, Reason(platform::GetLastError())});
    }
}

void ArchiveCommit::DropNewFile() {
    RestoreDirectoryInMemory();
    manager_.ArchiveStream = &archive_;
    newFile_.reset();
    if (!newName_.empty()) {
        // Its failure is let go: the commit is failing for a reason of its
        // own, which is what the user must see, and a new file that cannot
        // be deleted now is a hidden leftover the next commit removes (its
        // lock went with the stream). The archive itself is untouched.
        (void)platform::DeleteFile(newName_);
        newName_.clear();
    }
}

void ArchiveCommit::RestoreDirectoryInMemory() {
    manager_.Directory.Assign(manager_.SavedDirectory);
    manager_.End = savedEnd_;
}

void ArchiveCommit::RaiseWriteFailure(platform::DWORD code) const {
    const std::string& shown = copyName_.empty() ? archiver_.FileName : copyName_;
    throw EZipException(native::UpdateFailed, &archiver_, {shown, Reason(code)});
}

}  // namespace archive
