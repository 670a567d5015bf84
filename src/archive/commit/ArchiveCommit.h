// Committing a transaction: the new archive is written into a new file
// beside the archive and renamed over it once whole and flushed, so that a
// reader finds the old archive or the new one, whatever happens on the
// way. Everything before the first entry that changed is copied as it is
// (by the kernel), the entries from there on are written (changed ones
// compressed anew, unchanged ones copied raw from the archive, which is
// only read), then the directory. A failure, an abort or a cancel removes
// the new file and leaves the archive as it was.
//
// Committed into a copy (CommitCopyName), the new file is renamed to the
// copy's name instead, and the archiver goes on with the copy.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "archive/ZipArchiver.h"
#include "archive/directory/ZipDirManager.h"
#include "platform/FileReplace.h"

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

    // Plans, writes the new file and puts it in place, or removes it.
    // Raises when the commit was undone for a failure; a cancel returns
    // normally.
    void Run();

  private:
    enum class Ending { Whole, Cancelled, Aborted };

    // An entry whose data are written anew; any other is copied raw.
    static bool Rewritten(const TDirItem& entry);

    // --- plan (ArchiveCommit.cpp) ----------------------------------------------------
    // False when the transaction changed nothing.
    bool Plan();
    void CountChangedEntries();
    int FirstChangedIndex() const;
    // Lowers `first` until no entry before it lies at or past the cut point.
    int FirstRewrittenIndex(int first) const;
    std::int64_t CutPointFor(int first) const;
    // False when the start event cancels.
    bool AnnounceStart();

    // --- the block copied whole (ArchiveCommitBlock.cpp) ------------------------------
    // True when the entries from runIndex_ on form one block of records
    // that is copied as it is after the entries written.
    bool PlanBlock();
    // The end of the block's last record; -1 when it cannot be told.
    std::int64_t BlockEndAfter(const TDirItem& last);
    void CopyBlock();
    // The block's entries take their old records' offsets moved by `delta`.
    void SetBlockOffsets(std::int64_t delta);

    // --- the new file (ArchiveCommitReplace.cpp) ---------------------------------------
    // Where the new archive goes; refuses what a rename cannot replace.
    void FindTarget();
    // Removes what killed commits left beside the target, and makes the
    // new file.
    void CreateNewFile();
    // Writes the whole new archive into the new file.
    Ending WriteNewFile(bool changed);
    // Flushes the new file and gives it the archive's mode and owner.
    void SealNewFile();
    // Renames the new file over the archive (or to the copy's name).
    void PutNewFileInPlace();
    // The archiver works on the new file from now on; the old one closes.
    void SwitchToNewFile();
    // Flushes the folder that holds the new archive, after the switch.
    void FlushFolder();
    // After a failure, an abort or a cancel: the new file gone, the entry
    // list as it was.
    void DropNewFile();
    void RestoreDirectoryInMemory();
    // What a failure while the new file was written says to the user.
    [[noreturn]] void RaiseWriteFailure(platform::DWORD code) const;

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

    // --- finish ------------------------------------------------------------------------
    // The end event: the archive is whole.
    void AnnounceEnd();
    // A commit undone for a failure is a failure to the caller.
    void ReportUndone() const;

    TZipBaseArchiver& archiver_;
    TZipDirManager& manager_;
    platform::TFileStream& archive_;             // the open archive, only read
    TZipProcessOperation operation_ = poDelete;  // of the first changed entry
    int first_ = 0;                              // first entry written again
    std::int64_t cutPoint_ = 0;
    // Entries from here on are not written by WriteEntries: they are the
    // block, whose records [runStart_, blockEnd_) of the archive are copied
    // after them.
    int runIndex_ = 0;
    std::int64_t runStart_ = 0;
    std::int64_t blockEnd_ = 0;
    DirectoryEnd savedEnd_;  // what the manager held before
    bool diskFull_ = false;  // a write failed and the disk-full answer gave up
    platform::DWORD diskFullCode_ = 0;
    std::optional<EZipException> abortedBy_;  // the failure whose decision was Abort

    std::string copyName_;           // the copy committed into, if any
    platform::ReplacedFile target_;  // the file the new one replaces, or the copy's path
    std::string newName_;            // the new file while it has its own name
    std::unique_ptr<platform::TFileStream> newFile_;
    platform::TFileStream* out_ = nullptr;  // where entries are written: the new file
};

}  // namespace archive
