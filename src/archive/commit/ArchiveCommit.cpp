#include "archive/commit/ArchiveCommit.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "archive/ZipConst.h"
#include "archive/commit/ZipRawCopy.h"
#include "archive/extract/FailureDecision.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Stream.h"

namespace archive {

namespace {

// Operations that change only directory fields, never the data.
bool ChangesData(TZipProcessOperation operation) {
    return operation != poRename && operation != poChangeAttr && operation != poChangeComment;
}

// Cuts the archive at `position` (when it is longer) and stands there.
void CutArchive(platform::TFileStream& archive, std::int64_t position) {
    if (archive.Size() > position && !archive.SetSize(position)) {
        throw platform::EWriteError(platform::GetLastError());
    }
    archive.SetPosition(position);
}

// The lowest local header offset of the entries from `first` on.
std::uint64_t LowestOffsetFrom(const TZipDirArray& entries, int first) {
    std::uint64_t lowest = entries.ItemAt(first).LocalHeaderOffset();
    for (int j = first + 1; j < entries.Count(); ++j) {
        lowest = std::min(lowest, entries.ItemAt(j).LocalHeaderOffset());
    }
    return lowest;
}

// Where the local record of a saved entry ends in the archive, as far as
// can be told: by its local header, else by its directory record.
std::uint64_t RecordEnd(TailReader& archive, const TDirItem& entry) {
    const std::uint64_t offset = entry.LocalHeaderOffset();
    try {
        return offset + static_cast<std::uint64_t>(
                            LocalRecordLength(archive, static_cast<std::int64_t>(offset), entry));
    } catch (const std::exception&) {
        return offset + LocalHeaderSize + entry.Header.NameLength + entry.CompressedSize();
    }
}

// A stretch of old records that goes to the stream written in one copy:
// the records of unchanged entries that follow each other there.
class TailRun {
  public:
    TailRun(platform::TFileStream& tail, platform::TFileStream& archive)
        : tail_(tail), archive_(archive) {}

    // Adds the record at `from`, `length` bytes long; a record that does not
    // follow the run sends the run first.
    void Add(std::int64_t from, std::int64_t length) {
        if (length_ > 0 && from != from_ + length_) {
            Send();
        }
        if (length_ == 0) {
            from_ = from;
        }
        length_ += length;
    }

    void Send() {
        const std::int64_t count = length_;
        length_ = 0;
        if (count > 0) {
            tail_.SetPosition(from_);
            archive_.CopyFrom(tail_, count);
        }
    }

  private:
    platform::TFileStream& tail_;
    platform::TFileStream& archive_;
    std::int64_t from_ = 0;
    std::int64_t length_ = 0;
};

}  // namespace

bool ArchiveCommit::Rewritten(const TDirItem& entry) {
    return entry.Modified && ChangesData(entry.Operation);
}

ArchiveCommit::ArchiveCommit(TZipBaseArchiver& archiver)
    : archiver_(archiver), manager_(*archiver.dirManager_), archive_(*archiver.archiveStream_) {}

void ArchiveCommit::Run() {
    copyName_ = std::exchange(archiver_.CommitCopyName, std::string());
    savedEnd_ = manager_.End;
    if (!Plan()) {
        if (!copyName_.empty()) {
            CopyUnchanged();
        }
        return;
    }
    if (!AnnounceStart()) {
        return;
    }
    cutPoint_ = CutPointFor(first_);
    runIndex_ = manager_.Directory.Count();
    if (!copyName_.empty()) {
        RunIntoCopy();
        return;
    }
    if (PlanBlock()) {
        RunInPlace();
        return;
    }
    SetTailAside();
    out_ = &archive_;
    oldRecords_ = tailCopy_.get();
    oldBase_ = cutPoint_;
    Ending ending = Ending::Whole;
    try {
        ending = WriteEntries();
        if (ending == Ending::Whole) {
            WriteNewDirectory();
        }
    } catch (...) {
        RollBack();
        throw;
    }
    if (ending == Ending::Whole) {
        Finish(archive_);
        return;
    }
    RollBack();
    ReportUndone();
}

// --- plan ------------------------------------------------------------------------------

bool ArchiveCommit::Plan() {
    archiver_.cancelled_ = false;
    archiver_.processedCount_ = 0;
    CountChangedEntries();
    // A transaction that changed nothing leaves the file as it is.
    const int changed = FirstChangedIndex();
    const int count = manager_.Directory.Count();
    if (changed == count && count == manager_.SavedDirectory.Count()) {
        return false;
    }
    first_ = FirstRewrittenIndex(changed);
    return true;
}

// The progress events count the changed entries and name the operation of
// the first of them.
void ArchiveCommit::CountChangedEntries() {
    const TZipDirArray& directory = manager_.Directory;
    archiver_.selectedCount_ = 0;
    for (int i = 0; i < directory.Count(); ++i) {
        const TDirItem& entry = directory.ItemAt(i);
        if (entry.Modified) {
            operation_ = archiver_.selectedCount_ == 0 ? entry.Operation : operation_;
            ++archiver_.selectedCount_;
        }
    }
}

int ArchiveCommit::FirstChangedIndex() const {
    const TZipDirArray& directory = manager_.Directory;
    const TZipDirArray& saved = manager_.SavedDirectory;
    const int m = std::min(directory.Count(), saved.Count());
    for (int i = 0; i < m; ++i) {
        if (directory.ItemAt(i).Name != saved.ItemAt(i).Name || directory.ItemAt(i).Modified) {
            return i;
        }
    }
    return m;
}

// The cut point is the lowest local header from `first` on. In a file whose
// records are not in directory order, an entry before `first` may lie past
// it, or its record may reach past it; such entries are written again too,
// or the cut would lose them.
int ArchiveCommit::FirstRewrittenIndex(int first) const {
    const TZipDirArray& saved = manager_.SavedDirectory;
    TailReader archive(archive_);
    std::vector<std::uint64_t> ends(static_cast<std::size_t>(first));
    for (int i = 0; i < first; ++i) {
        ends[static_cast<std::size_t>(i)] = RecordEnd(archive, saved.ItemAt(i));
    }
    while (first < saved.Count()) {
        const std::uint64_t cut = LowestOffsetFrom(saved, first);
        int lower = first;
        for (int i = 0; i < first; ++i) {
            if (saved.ItemAt(i).LocalHeaderOffset() >= cut ||
                ends[static_cast<std::size_t>(i)] > cut) {
                lower = i;
                break;
            }
        }
        if (lower == first) {
            break;
        }
        first = lower;
    }
    return first;
}

// Everything from the cut point to the end is set aside, the old directory
// included, so that a roll-back gives back the very bytes.
std::int64_t ArchiveCommit::CutPointFor(int first) const {
    const TZipDirArray& saved = manager_.SavedDirectory;
    if (first < saved.Count()) {
        return static_cast<std::int64_t>(LowestOffsetFrom(saved, first));
    }
    if (saved.Count() == 0) {
        return static_cast<std::int64_t>(manager_.PrefixSize);
    }
    return manager_.End.DirectoryOffset;
}

bool ArchiveCommit::AnnounceStart() {
    bool cancel = false;
    archiver_.DoOverallProgress(0, operation_, ppStart, cancel);
    if (cancel) {
        archiver_.cancelled_ = true;
        return false;
    }
    return true;
}

// --- set the tail aside ------------------------------------------------------------------

// The archive is not touched until the copy is whole.
void ArchiveCommit::SetTailAside() {
    try {
        if (cutPoint_ < archive_.Size()) {
            MakeTailCopy();
        }
        CutArchive(archive_, cutPoint_);
    } catch (...) {
        DiscardTailCopy();
        throw;
    }
}

void ArchiveCommit::MakeTailCopy() {
    OpenTailCopy();
    archive_.SetPosition(cutPoint_);
    tailCopy_->CopyFrom(archive_, archive_.Size() - cutPoint_);
}

void ArchiveCommit::OpenTailCopy() {
    const std::string& tempDir = archiver_.TempDir;
    const std::string folder = tempDir.empty() ? platform::GetTempPath() : tempDir;
    tailCopyName_ = platform::GetTempFileName(folder, "FC");
    if (tailCopyName_.empty()) {
        throw platform::EFCreateError(platform::IncludeTrailingPathDelimiter(folder) + "FC",
                                      platform::GetLastError());
    }
    tailCopy_ = std::make_unique<platform::TFileStream>(
        tailCopyName_, platform::fmOpenReadWrite | platform::fmShareExclusive);
}

void ArchiveCommit::DiscardTailCopy() {
    tailCopy_.reset();
    if (!tailCopyName_.empty()) {
        platform::DeleteFile(tailCopyName_);
        tailCopyName_.clear();
    }
}

// --- write -------------------------------------------------------------------------------

ArchiveCommit::Ending ArchiveCommit::WriteEntries() {
    const TZipDirArray& directory = manager_.Directory;
    for (int i = first_; i < runIndex_ && !archiver_.cancelled_;) {
        if (Rewritten(directory.ItemAt(i))) {
            const std::optional<int> next = RewriteEntry(i);
            if (!next) {
                break;
            }
            i = *next;
        } else if (oldRecords_) {
            i = CopyUnchangedRun(i);
        } else {
            CutArchive(*out_, out_->Position());
            CopyEntryRaw(i);
            ++archiver_.processedCount_;
            ++i;
        }
    }
    if (abortedBy_) {
        return Ending::Aborted;
    }
    return archiver_.cancelled_ ? Ending::Cancelled : Ending::Whole;
}

// Unchanged entries go raw from the old records, each at the end of what is
// written. A run of them whose records follow each other there moves with
// one copy instead of one per entry.
int ArchiveCommit::CopyUnchangedRun(int i) {
    TZipDirArray& directory = manager_.Directory;
    const TZipDirArray& saved = manager_.SavedDirectory;
    TailReader reader(*oldRecords_);
    CutArchive(*out_, out_->Position());
    std::int64_t writeAt = out_->Position() + outShift_;
    TailRun run(*oldRecords_, *out_);
    try {
        for (; i < runIndex_ && !Rewritten(directory.ItemAt(i)); ++i) {
            const int j = SavedIndexOf(directory, saved, i);
            if (j < 0) {
                throw EZipException(native::SavedEntryMissing, &archiver_);
            }
            if (directory.ItemAt(i).Operation == poUpdate) {
                directory.PutItem(i, saved.ItemAt(j));
            }
            const TDirItem& old = saved.ItemAt(j);
            const std::int64_t from = static_cast<std::int64_t>(old.LocalHeaderOffset()) - oldBase_;
            if (from < 0) {
                throw EZipException(native::SavedEntryMissing, &archiver_);
            }
            const std::int64_t length = LocalRecordLength(reader, from, old);
            run.Add(from, length);
            directory.ItemAt(i).SetLocalHeaderOffset(static_cast<std::uint64_t>(writeAt));
            writeAt += length;
            ++archiver_.processedCount_;
        }
    } catch (...) {
        // The bytes of the entries before the failing one go first, so a
        // failure to copy them is the one reported.
        run.Send();
        throw;
    }
    run.Send();
    return i;
}

std::optional<int> ArchiveCommit::RewriteEntry(int index) {
    const TDirItem& entry = manager_.Directory.ItemAt(index);
    const std::string shown = entry.Operation == poUpdate ? entry.Name : entry.SourceFileName();
    const std::int64_t entryStart = out_->Position();
    const EntryOutcome outcome = AttemptUnderFailureDecision(
        archiver_, shown, entry.Operation,
        [&] {
            // What a failed attempt wrote goes before the next one.
            CutArchive(*out_, entryStart);
            return CompressEntry(index);
        },
        [&] { return !archiver_.cancelled_; });
    if (outcome.Aborted()) {
        abortedBy_ = outcome.Failure;
        return std::nullopt;
    }
    if (archiver_.cancelled_) {
        return std::nullopt;
    }
    if (outcome.Done) {
        ++archiver_.processedCount_;
        return index + 1;
    }
    return PassFailedEntry(index, entryStart);
}

int ArchiveCommit::PassFailedEntry(int index, std::int64_t entryStart) {
    CutArchive(*out_, entryStart);
    if (manager_.Directory.ItemAt(index).Operation == poAdd) {
        manager_.Directory.Delete(index);
        --runIndex_;
        return index;
    }
    CopyEntryRaw(index);
    return index + 1;
}

// --- finish or roll back -----------------------------------------------------------------

void ArchiveCommit::WriteNewDirectory() {
    manager_.WriteDirectory(true);
    DiscardTailCopy();
}

// The archive is whole now: a cancel from the last event no longer undoes it.
// The flush is of the data and the size: those are what a commit must not
// lose to a power cut, while the file's times need not reach the disk.
void ArchiveCommit::Finish(platform::TFileStream& file) {
    bool cancel = false;
    archiver_.DoOverallProgress(100, operation_, ppEnd, cancel);
    if (archiver_.Options.FlushBuffers) {
        file.FlushData();
    }
}

void ArchiveCommit::RollBack() {
    manager_.Directory.Assign(manager_.SavedDirectory);
    manager_.End = savedEnd_;
    if (!tailCopy_) {
        CutArchive(archive_, cutPoint_);
        manager_.WriteDirectory(true);
        return;
    }
    RestoreTail();
    DiscardTailCopy();
}

void ArchiveCommit::RestoreTail() {
    bool restored = archive_.SetSize(cutPoint_);
    if (restored) {
        try {
            archive_.SetPosition(cutPoint_);
            tailCopy_->SetPosition(0);
            archive_.CopyFrom(*tailCopy_, tailCopy_->Size());
        } catch (const platform::EStreamError&) {
            restored = false;
        }
    }
    if (!restored) {
        // The tail copy is then the only copy of the old bytes: it stays in
        // the temporary folder.
        const platform::DWORD code = platform::GetLastError();
        tailCopy_.reset();
        tailCopyName_.clear();
        throw platform::EWriteError(code);
    }
}

// Only a cancel asked for returns normally.
void ArchiveCommit::ReportUndone() const {
    if (diskFull_) {
        throw EZipException(native::StreamWrite, &archiver_);
    }
    if (abortedBy_) {
        throw *abortedBy_;
    }
}

}  // namespace archive
