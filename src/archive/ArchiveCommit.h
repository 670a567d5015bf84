// Committing a transaction in place: everything before the first entry that
// changed stays where it is, the rest of the file is set aside in a tail
// copy, the entries from there on are written again, then the directory. A
// failure or an abort puts the old bytes back.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "archive/ZipArchiver.h"
#include "archive/ZipDirManager.h"

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
    void DiscardTailCopy();

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
    void RewriteLocalHeader(const TDirItem& entry, LocalFileHeader& local, std::int64_t offset);
    void CopyEntryRaw(int index);
    EntryCodecContext CodecContext(const TDirItem& entry);

    // --- finish or roll back -------------------------------------------------------------
    void WriteNewDirectory();
    void Finish();
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
    std::unique_ptr<platform::TFileStream> tailCopy_;
    std::string tailCopyName_;
    DirectoryEnd savedEnd_;                   // what the manager held before
    bool diskFull_ = false;                   // a write found the disk full and gave up
    std::optional<EZipException> abortedBy_;  // the failure whose decision was Abort
};

}  // namespace archive
