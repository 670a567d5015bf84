// Committing a transaction in place: everything before the first entry that
// changed stays where it is and the entries from there on are written again,
// then the directory. A failure or an abort puts the old bytes back.
//
// When the entries after the last one written anew are unchanged and keep
// their order, their records move once, inside the file, as one block: the
// new records are staged in a temporary file first, and only the bytes the
// block and the new records overwrite are set aside for a roll-back.
// Otherwise the whole rest of the file is set aside in a tail copy and the
// unchanged entries are copied back from there.
//
// Committed into a copy, the same records go into a new file in the same
// places, read straight from the open file, which is never written.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "archive/ZipArchiver.h"
#include "archive/commit/ArchiveCommitShift.h"
#include "archive/directory/ZipDirManager.h"

namespace platform {
class TFileStream;
}

namespace archive {

struct EntryCodecContext;

class ArchiveCommit {
  public:
    // The archiver has an open archive and has just left its outermost
    // transaction.
    explicit ArchiveCommit(TZipBaseArchiver& archiver);
    ArchiveCommit(const ArchiveCommit&) = delete;
    ArchiveCommit& operator=(const ArchiveCommit&) = delete;

    // Plans, sets the tail aside, writes, and finishes or rolls back. Raises
    // when the commit was undone for a failure; a cancel returns normally.
    void Run();

  private:
    enum class Ending { Whole, Cancelled, Aborted };

    // An entry whose data are written anew; any other is copied raw.
    static bool Rewritten(const TDirItem& entry);

    // --- plan ------------------------------------------------------------------------
    // False when the transaction changed nothing.
    bool Plan();
    void CountChangedEntries();
    int FirstChangedIndex() const;
    // Lowers `first` until no entry before it lies at or past the cut point.
    int FirstRewrittenIndex(int first) const;
    std::int64_t CutPointFor(int first) const;
    // False when the start event cancels.
    bool AnnounceStart();

    // --- set the tail aside ------------------------------------------------------------
    void SetTailAside();
    void MakeTailCopy();
    // An empty file in the temporary folder.
    void OpenTailCopy();
    void DiscardTailCopy();

    // --- the block moved in place (ArchiveCommitInPlace.cpp) -------------------------
    // True when the entries from runIndex_ on form one block to move.
    bool PlanBlock();
    // The end of the block's last record; -1 when it cannot be told.
    std::int64_t BlockEndAfter(const TDirItem& last);
    void RunInPlace();
    // Saves what the new records and the new directory overwrite, and
    // stages the new records after it.
    void SetOverwrittenAside();
    // Moves the block, places the staged records before it and writes the
    // directory after it.
    void PlaceStagedRecords();
    // The block's entries take their old records' offsets moved by `delta`.
    void SetBlockOffsets(std::int64_t delta);
    void RollBackInPlace();
    void RestoreInPlace();
    // The directory and end records as they were, the file untouched.
    void RestoreDirectoryInMemory();

    // --- into a copy (ArchiveCommitCopy.cpp) ------------------------------------------
    void RunIntoCopy();
    // The copy of a transaction that changed nothing: the whole file.
    void CopyUnchanged();
    // Creates the copy, which must not exist.
    void CreateCopy();
    // The block's records after those written, at their new offsets.
    void CopyBlock();
    // The archiver works on the copy from now on; the open file is closed.
    void SwitchToCopy();
    // After a failure, an abort or a cancel: the copy gone, the entry list
    // as it was and the directory manager back on the open file.
    void DropCopy();

    // --- write (ArchiveCommit.cpp, ArchiveCommitEntry.cpp) -----------------------------
    Ending WriteEntries();
    // Copies the run of unchanged entries from `index` on; the index after it.
    int CopyUnchangedRun(int index);
    // Compresses entry `index` under the failure decision; the index to go on
    // with, or nothing when the commit stops.
    std::optional<int> RewriteEntry(int index);
    // What is left of an entry whose failure was ignored: an added entry is
    // dropped, any other keeps its old record.
    int PassFailedEntry(int index, std::int64_t entryStart);
    bool CompressEntry(int index);
    bool ReportEntryProgress(const TDirItem& entry, double progress, TZipProgressPhase phase);
    std::unique_ptr<platform::TFileStream> OpenSource(const TDirItem& entry);
    LocalFileHeader WriteLocalHeader(TDirItem& entry, std::int64_t offset,
                                     std::uint64_t sourceSize);
    void RewriteLocalHeader(const TDirItem& entry, LocalFileHeader& local, std::int64_t position);
    void CopyEntryRaw(int index);
    EntryCodecContext CodecContext(const TDirItem& entry);

    // --- finish or roll back -------------------------------------------------------------
    void WriteNewDirectory();
    // Flushes `file`, the archive as committed.
    void Finish(platform::TFileStream& file);
    void RollBack();
    void RestoreTail();
    // A commit undone for a failure is a failure to the caller.
    void ReportUndone() const;

    TZipBaseArchiver& archiver_;
    TZipDirManager& manager_;
    platform::TFileStream& archive_;
    TZipProcessOperation operation_ = poDelete;  // of the first changed entry
    int first_ = 0;                              // first entry written again
    std::int64_t cutPoint_ = 0;
    std::unique_ptr<platform::TFileStream> tailCopy_;  // or the staging copy
    std::string tailCopyName_;
    // Where entries are written: the archive, or the staging copy, whose
    // position plus outShift_ is the entry's offset in the archive.
    platform::TFileStream* out_ = nullptr;
    std::int64_t outShift_ = 0;
    // Where the old records are read: old offset minus oldBase_.
    platform::TFileStream* oldRecords_ = nullptr;
    std::int64_t oldBase_ = 0;
    int runIndex_ = 0;  // entries from here on are not written by WriteEntries
    // The block moved in place: [runStart_, blockEnd_) of the old file; the
    // old directory and end records from oldDirectory_ to oldSize_.
    std::int64_t runStart_ = 0;
    std::int64_t blockEnd_ = 0;
    std::int64_t oldDirectory_ = 0;
    std::int64_t oldSize_ = 0;
    std::int64_t stageStart_ = 0;  // the staged records in the staging copy
    std::unique_ptr<BlockShift> shift_;
    DirectoryEnd savedEnd_;                   // what the manager held before
    bool diskFull_ = false;                   // a write found the disk full and gave up
    std::optional<EZipException> abortedBy_;  // the failure whose decision was Abort
    std::string copyName_;                    // the file committed into, if any
    std::unique_ptr<platform::TFileStream> copy_;
};

}  // namespace archive
