// The commit that moves the records after the last entry written anew once,
// inside the archive. Nothing in the archive changes until the new records
// are staged whole; from then on a roll-back moves the block back and puts
// back the bytes set aside: those between the cut and the block, and the
// old directory and end records. Bytes between the records of the block
// move with it.
#include <exception>

#include "archive/ZipConst.h"
#include "archive/commit/ArchiveCommit.h"
#include "archive/commit/ZipRawCopy.h"
#include "platform/Stream.h"

namespace archive {

namespace {

std::int64_t OffsetOf(const TDirItem& entry) {
    return static_cast<std::int64_t>(entry.LocalHeaderOffset());
}

}  // namespace

// The block is the longest run of entries at the end of the list that are
// not written anew and are the last saved entries, in the same order, with
// their records in that order in the file. Every other record written again
// lies before it, and the old directory after it.
bool ArchiveCommit::PlanBlock() {
    const TZipDirArray& directory = manager_.Directory;
    const TZipDirArray& saved = manager_.SavedDirectory;
    oldSize_ = archive_.Size();
    oldDirectory_ = manager_.End.DirectoryOffset;
    if (cutPoint_ >= oldSize_ || oldDirectory_ < cutPoint_ || oldDirectory_ > oldSize_) {
        return false;
    }
    int i = directory.Count();
    int j = saved.Count();
    while (i > first_ && j > first_) {
        const TDirItem& entry = directory.ItemAt(i - 1);
        if (Rewritten(entry) || SavedIndexOf(directory, saved, i - 1) != j - 1) {
            break;
        }
        if (j < saved.Count() && OffsetOf(saved.ItemAt(j - 1)) >= OffsetOf(saved.ItemAt(j))) {
            break;
        }
        --i;
        --j;
    }
    const bool empty = j == saved.Count();
    runStart_ = empty ? oldDirectory_ : OffsetOf(saved.ItemAt(j));
    blockEnd_ = empty ? oldDirectory_ : BlockEndAfter(saved.ItemAt(saved.Count() - 1));
    if (runStart_ < cutPoint_ || blockEnd_ < runStart_ || blockEnd_ > oldDirectory_) {
        return false;
    }
    for (int k = first_; k < j; ++k) {
        if (OffsetOf(saved.ItemAt(k)) >= runStart_) {
            return false;
        }
    }
    runIndex_ = i;
    return true;
}

std::int64_t ArchiveCommit::BlockEndAfter(const TDirItem& last) {
    try {
        TailReader reader(archive_);
        return OffsetOf(last) + LocalRecordLength(reader, OffsetOf(last), last);
    } catch (const std::exception&) {
        return -1;
    }
}

void ArchiveCommit::RunInPlace() {
    try {
        SetOverwrittenAside();
    } catch (...) {
        DiscardTailCopy();
        throw;
    }
    Ending ending = Ending::Whole;
    try {
        ending = WriteEntries();
        if (ending == Ending::Whole) {
            PlaceStagedRecords();
        }
    } catch (...) {
        RollBackInPlace();
        throw;
    }
    if (ending == Ending::Whole) {
        shift_.reset();
        DiscardTailCopy();
        Finish(archive_);
        return;
    }
    RollBackInPlace();
    ReportUndone();
}

// The staging copy holds the old bytes from the cut to the block, then
// those from the block's end to the end of the file, then the new records.
void ArchiveCommit::SetOverwrittenAside() {
    OpenTailCopy();
    platform::TFileStream& stage = *tailCopy_;
    archive_.SetPosition(cutPoint_);
    stage.CopyFrom(archive_, runStart_ - cutPoint_);
    archive_.SetPosition(blockEnd_);
    stage.CopyFrom(archive_, oldSize_ - blockEnd_);
    stageStart_ = (runStart_ - cutPoint_) + (oldSize_ - blockEnd_);
    stage.SetPosition(stageStart_);
    out_ = &stage;
    outShift_ = cutPoint_ - stageStart_;
    oldRecords_ = &archive_;
    oldBase_ = 0;
}

void ArchiveCommit::PlaceStagedRecords() {
    platform::TFileStream& stage = *tailCopy_;
    const std::int64_t stageLength = stage.Size() - stageStart_;
    const std::int64_t delta = cutPoint_ + stageLength - runStart_;
    SetBlockOffsets(delta);
    shift_ = std::make_unique<BlockShift>(archive_, runStart_, blockEnd_, delta);
    shift_->Move();
    stage.SetPosition(stageStart_);
    archive_.SetPosition(cutPoint_);
    archive_.CopyFrom(stage, stageLength);
    manager_.WriteDirectoryAt(blockEnd_ + delta);
}

void ArchiveCommit::SetBlockOffsets(std::int64_t delta) {
    TZipDirArray& directory = manager_.Directory;
    const TZipDirArray& saved = manager_.SavedDirectory;
    const int firstSaved = saved.Count() - (directory.Count() - runIndex_);
    for (int i = runIndex_; i < directory.Count(); ++i) {
        const TDirItem& old = saved.ItemAt(firstSaved + (i - runIndex_));
        if (directory.ItemAt(i).Operation == poUpdate) {
            directory.PutItem(i, old);
        }
        directory.ItemAt(i).SetLocalHeaderOffset(static_cast<std::uint64_t>(OffsetOf(old) + delta));
        ++archiver_.processedCount_;
    }
}

void ArchiveCommit::RollBackInPlace() {
    RestoreDirectoryInMemory();
    if (shift_) {
        RestoreInPlace();
        shift_.reset();
    }
    DiscardTailCopy();
}

void ArchiveCommit::RestoreInPlace() {
    platform::TFileStream& stage = *tailCopy_;
    try {
        shift_->Undo();
        stage.SetPosition(0);
        archive_.SetPosition(cutPoint_);
        archive_.CopyFrom(stage, runStart_ - cutPoint_);
        archive_.SetPosition(blockEnd_);
        archive_.CopyFrom(stage, oldSize_ - blockEnd_);
        if (!archive_.SetSize(oldSize_)) {
            throw platform::EWriteError(platform::GetLastError());
        }
    } catch (const platform::EStreamError&) {
        // The staging copy then holds the only copy of the bytes set aside:
        // it stays in the temporary folder.
        const platform::DWORD code = platform::GetLastError();
        tailCopy_.reset();
        tailCopyName_.clear();
        shift_.reset();
        throw platform::EWriteError(code);
    }
}

void ArchiveCommit::RestoreDirectoryInMemory() {
    manager_.Directory.Assign(manager_.SavedDirectory);
    manager_.End = savedEnd_;
}

}  // namespace archive
