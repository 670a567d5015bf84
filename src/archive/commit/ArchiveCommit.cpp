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

// Cuts the file written at `position` (when it is longer: after an attempt
// that failed) and stands there.
void CutFile(platform::TFileStream& file, std::int64_t position) {
    if (file.Size() > position && !file.SetSize(position)) {
        throw platform::EWriteError(platform::GetLastError());
    }
    file.SetPosition(position);
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
std::uint64_t RecordEnd(RecordReader& archive, const TDirItem& entry) {
    const std::uint64_t offset = entry.LocalHeaderOffset();
    try {
        return offset + static_cast<std::uint64_t>(
                            LocalRecordLength(archive, static_cast<std::int64_t>(offset), entry));
    } catch (const std::exception&) {
        return offset + LocalHeaderSize + entry.Header.NameLength + entry.CompressedSize();
    }
}

// A stretch of old records that goes to the new file in one copy: the
// records of unchanged entries that follow each other there.
class RecordRun {
  public:
    RecordRun(platform::TFileStream& old, platform::TFileStream& out) : old_(old), out_(out) {}

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
            old_.SetPosition(from_);
            out_.CopyFrom(old_, count);
        }
    }

  private:
    platform::TFileStream& old_;
    platform::TFileStream& out_;
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
    const bool changed = Plan();
    // A transaction that changed nothing leaves the archive as it is; a
    // copy still gets every byte of it.
    if (!changed && copyName_.empty()) {
        return;
    }
    if (changed && !AnnounceStart()) {
        return;
    }
    cutPoint_ = changed ? CutPointFor(first_) : 0;
    runIndex_ = manager_.Directory.Count();
    FindTarget();
    CreateNewFile();
    Ending ending = Ending::Whole;
    try {
        ending = WriteNewFile(changed);
        if (ending == Ending::Whole) {
            SealNewFile();
            PutNewFileInPlace();
        }
    } catch (const platform::EStreamError& e) {
        DropNewFile();
        RaiseWriteFailure(e.ErrorCode);
    } catch (const EZipException& e) {
        const platform::DWORD code = platform::GetLastError();
        DropNewFile();
        if (e.NativeError == native::StreamWrite) {
            RaiseWriteFailure(code);
        }
        throw;
    } catch (...) {
        DropNewFile();
        throw;
    }
    if (ending != Ending::Whole) {
        DropNewFile();
        ReportUndone();
        return;
    }
    SwitchToNewFile();
    FlushFolder();
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
    RecordReader archive(archive_);
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

// Everything before the cut point is copied to the new file as it is.
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
        } else {
            i = CopyUnchangedRun(i);
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
    RecordReader reader(archive_);
    CutFile(*out_, out_->Position());
    std::int64_t writeAt = out_->Position();
    RecordRun run(archive_, *out_);
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
            const std::int64_t from = static_cast<std::int64_t>(old.LocalHeaderOffset());
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
            CutFile(*out_, entryStart);
            return CompressEntry(index);
        },
        [&] { return !archiver_.cancelled_; });
    if (outcome.Failure) {
        ++archiver_.failedCount_;
        archiver_.lastEntryFailure_ = outcome.Failure->Message();
    }
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
    CutFile(*out_, entryStart);
    if (manager_.Directory.ItemAt(index).Operation == poAdd) {
        manager_.Directory.Delete(index);
        --runIndex_;
        return index;
    }
    CopyEntryRaw(index);
    return index + 1;
}

// --- finish ----------------------------------------------------------------------------

// The archive is whole now: a cancel from the last event no longer undoes it.
void ArchiveCommit::AnnounceEnd() {
    bool cancel = false;
    archiver_.DoOverallProgress(100, operation_, ppEnd, cancel);
}

// Only a cancel asked for returns normally.
void ArchiveCommit::ReportUndone() const {
    if (diskFull_) {
        RaiseWriteFailure(diskFullCode_);
    }
    if (abortedBy_) {
        throw *abortedBy_;
    }
}

}  // namespace archive
