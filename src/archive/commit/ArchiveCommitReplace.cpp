// The commit into a copy: the new archive goes into a file of its own, with
// the bytes the commit in place would have left in the open file. The head
// up to the cut is copied as it is, the entries from the cut on are written
// as in place (unchanged ones read straight from the open file), the block
// that would have moved is copied after them, and the directory follows.
// The open file is only read; until the copy is whole, a failure, an abort
// or a cancel deletes the copy and leaves the archiver on the open file.
#include <exception>

#include "archive/commit/ArchiveCommit.h"
#include "platform/Files.h"
#include "platform/Stream.h"

namespace archive {

void ArchiveCommit::RunIntoCopy() {
    CreateCopy();
    Ending ending = Ending::Whole;
    try {
        archive_.SetPosition(0);
        copy_->CopyFrom(archive_, cutPoint_);
        out_ = copy_.get();
        oldRecords_ = &archive_;
        const bool block = PlanBlock();
        ending = WriteEntries();
        if (ending == Ending::Whole) {
            if (block) {
                CopyBlock();
            }
            manager_.WriteDirectory(true, copy_.get());
            Finish(*copy_);
        }
    } catch (...) {
        DropCopy();
        throw;
    }
    if (ending != Ending::Whole) {
        DropCopy();
        ReportUndone();
        return;
    }
    SwitchToCopy();
}

void ArchiveCommit::CopyUnchanged() {
    CreateCopy();
    try {
        archive_.SetPosition(0);
        copy_->CopyFrom(archive_, archive_.Size());
        if (archiver_.Options.FlushBuffers) {
            copy_->FlushData();
        }
    } catch (...) {
        DropCopy();
        throw;
    }
    SwitchToCopy();
}

// Shared as the open archive is: others may read the copy, none may write.
void ArchiveCommit::CreateCopy() {
    if (platform::FileExists(copyName_)) {
        throw platform::EFCreateError(copyName_, platform::ERROR_FILE_EXISTS);
    }
    copy_ = std::make_unique<platform::TFileStream>(
        copyName_, platform::fmCreate | platform::fmShareDenyWrite);
}

void ArchiveCommit::CopyBlock() {
    const std::int64_t delta = copy_->Position() - runStart_;
    SetBlockOffsets(delta);
    archive_.SetPosition(runStart_);
    copy_->CopyFrom(archive_, blockEnd_ - runStart_);
}

void ArchiveCommit::SwitchToCopy() {
    manager_.ArchiveStream = copy_.get();
    archiver_.archiveStream_ = std::move(copy_);
    archiver_.openMode_ = OpenModeReadWrite;
    archiver_.FileName = copyName_;
}

// The copy goes even when it cannot be closed cleanly: it was never the
// archive. The entry list has not changed when nothing was written yet.
void ArchiveCommit::DropCopy() {
    RestoreDirectoryInMemory();
    manager_.ArchiveStream = &archive_;
    copy_.reset();
    platform::DeleteFile(copyName_);
}

}  // namespace archive
