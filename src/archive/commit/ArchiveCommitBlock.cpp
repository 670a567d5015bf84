// The records after the last entry written anew, when they are the old
// archive's last records in the same order: they go to the new file in one
// copy, moved by the difference in length of what comes before them, and
// their entries' offsets move with them. Bytes between their records move
// with them too.
#include <exception>

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
    const std::int64_t oldSize = archive_.Size();
    const std::int64_t oldDirectory = manager_.End.DirectoryOffset;
    if (cutPoint_ >= oldSize || oldDirectory < cutPoint_ || oldDirectory > oldSize) {
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
    runStart_ = empty ? oldDirectory : OffsetOf(saved.ItemAt(j));
    blockEnd_ = empty ? oldDirectory : BlockEndAfter(saved.ItemAt(saved.Count() - 1));
    if (runStart_ < cutPoint_ || blockEnd_ < runStart_ || blockEnd_ > oldDirectory) {
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
        RecordReader reader(archive_);
        return OffsetOf(last) + LocalRecordLength(reader, OffsetOf(last), last);
    } catch (const std::exception&) {
        return -1;
    }
}

void ArchiveCommit::CopyBlock() {
    const std::int64_t delta = out_->Position() - runStart_;
    SetBlockOffsets(delta);
    archive_.SetPosition(runStart_);
    out_->CopyFrom(archive_, blockEnd_ - runStart_);
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

}  // namespace archive
