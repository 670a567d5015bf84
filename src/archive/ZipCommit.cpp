// Committing a transaction in place: everything before the first entry
// that changed stays where it is, the rest of the file is kept aside in a
// tail copy, the entries from there on are written again, then the
// directory. A failure or an abort puts the old bytes back.
#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "archive/ZipRawCopy.h"
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

// An entry whose data are written anew; any other is copied back raw.
bool Rewritten(const TDirItem& entry) {
    return entry.Modified && ChangesData(entry.Operation);
}

// Where the local record of a saved entry ends in the archive, as far as
// can be told: by its local header, else by its directory record.
std::uint64_t RecordEnd(TTailReader& archive, const TDirItem& entry) {
    const std::uint64_t offset = entry.LocalHeaderOffset();
    try {
        return offset + static_cast<std::uint64_t>(
                            LocalRecordLength(archive, static_cast<std::int64_t>(offset), entry));
    } catch (const std::exception&) {
        return offset + LocalHeaderSize + entry.Header.NameLength + entry.CompressedSize();
    }
}

}  // namespace

int TZipBaseArchiver::FirstChangedIndex() const {
    const TZipDirArray& directory = dirManager_->Directory;
    const TZipDirArray& saved = dirManager_->SavedDirectory;
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
int TZipBaseArchiver::FirstRewrittenIndex(int first) const {
    const TZipDirArray& saved = dirManager_->SavedDirectory;
    TTailReader archive(*archiveStream_);
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

void TZipBaseArchiver::MakeTailCopy() {
    platform::TFileStream& archive = *archiveStream_;
    const std::string folder = TempDir.empty() ? platform::GetTempPath() : TempDir;
    commit_.TailCopyName = platform::GetTempFileName(folder, "FC");
    if (commit_.TailCopyName.empty()) {
        throw platform::EFCreateError(platform::IncludeTrailingPathDelimiter(folder) + "FC",
                                      platform::GetLastError());
    }
    commit_.TailCopy = std::make_unique<platform::TFileStream>(
        commit_.TailCopyName, platform::fmOpenReadWrite | platform::fmShareExclusive);
    archive.SetPosition(commit_.CutPoint);
    commit_.TailCopy->CopyFrom(archive, archive.Size() - commit_.CutPoint);
}

void TZipBaseArchiver::DiscardTailCopy() {
    commit_.TailCopy.reset();
    if (!commit_.TailCopyName.empty()) {
        platform::DeleteFile(commit_.TailCopyName);
        commit_.TailCopyName.clear();
    }
}

void TZipBaseArchiver::Commit() {
    if (transactionDepth_ == 0) {
        return;
    }
    transactionDepth_ = 0;
    cancelled_ = false;
    processedCount_ = 0;
    TZipDirManager& manager = *dirManager_;
    TZipDirArray& directory = manager.Directory;
    const TZipDirArray& saved = manager.SavedDirectory;
    platform::TFileStream& archive = *archiveStream_;
    selectedCount_ = 0;
    totalBytes_ = 0;
    processedBytes_ = 0;
    TZipProcessOperation operation = poDelete;
    for (int i = 0; i < directory.Count(); ++i) {
        const TDirItem& entry = directory.ItemAt(i);
        if (entry.Modified) {
            operation = selectedCount_ == 0 ? entry.Operation : operation;
            ++selectedCount_;
            totalBytes_ += entry.UncompressedSize();
        }
    }
    // A transaction that changed nothing leaves the file as it is.
    const int changed = FirstChangedIndex();
    if (changed == directory.Count() && directory.Count() == saved.Count()) {
        return;
    }
    const int first = FirstRewrittenIndex(changed);
    commit_.Failure.reset();
    commit_.DiskFull = false;
    bool cancel = false;
    DoOverallProgress(0, operation, ppStart, cancel);
    if (cancel) {
        cancelled_ = true;
        return;
    }
    // What the manager holds now comes back with a roll-back.
    commit_.EndRecord = manager.EndRecord;
    commit_.Zip64Locator = manager.Zip64Locator;
    commit_.Zip64EndRecord = manager.Zip64EndRecord;
    commit_.IsZip64 = manager.IsZip64;
    commit_.DirectoryOffset = manager.DirectoryOffset;
    commit_.ArchiveComment = manager.ArchiveComment;
    // The cut point; everything from it to the end is kept aside, the
    // old directory included, so a roll-back gives back the very bytes. The
    // archive is not touched until the copy is whole.
    if (first < saved.Count()) {
        commit_.CutPoint = static_cast<std::int64_t>(LowestOffsetFrom(saved, first));
    } else if (saved.Count() == 0) {
        commit_.CutPoint = static_cast<std::int64_t>(manager.PrefixSize);
    } else {
        commit_.CutPoint = manager.DirectoryOffset;
    }
    try {
        if (commit_.CutPoint < archive.Size()) {
            MakeTailCopy();
        }
        CutArchive(archive, commit_.CutPoint);
    } catch (...) {
        DiscardTailCopy();
        throw;
    }
    // Unchanged entries go back raw from the tail copy, each at the
    // end of the archive. A run of them whose records follow each other
    // there moves with one copy instead of one per entry.
    const auto copyUnchangedRun = [&](int i) {
        platform::TFileStream& tail = *commit_.TailCopy;
        TTailReader reader(tail);
        CutArchive(archive, archive.Position());
        std::int64_t writeAt = archive.Position();
        std::int64_t runFrom = 0;
        std::int64_t runLength = 0;
        const auto copyRun = [&] {
            const std::int64_t count = runLength;
            runLength = 0;
            if (count > 0) {
                tail.SetPosition(runFrom);
                archive.CopyFrom(tail, count);
            }
        };
        try {
            for (; i < directory.Count() && !Rewritten(directory.ItemAt(i)); ++i) {
                commit_.LastAction = fxaIgnore;
                const int j = SavedIndexOf(directory, saved, i);
                if (j < 0) {
                    throw EZipException(native::SavedEntryMissing, this);
                }
                if (directory.ItemAt(i).Operation == poUpdate) {
                    directory.PutItem(i, saved.ItemAt(j));
                }
                const TDirItem& old = saved.ItemAt(j);
                const std::int64_t from =
                    static_cast<std::int64_t>(old.LocalHeaderOffset()) - commit_.CutPoint;
                if (from < 0) {
                    throw EZipException(native::SavedEntryMissing, this);
                }
                const std::int64_t length = LocalRecordLength(reader, from, old);
                if (runLength > 0 && from != runFrom + runLength) {
                    copyRun();
                }
                if (runLength == 0) {
                    runFrom = from;
                }
                runLength += length;
                directory.ItemAt(i).SetLocalHeaderOffset(static_cast<std::uint64_t>(writeAt));
                writeAt += length;
                ++processedCount_;
            }
        } catch (...) {
            // The bytes of the entries before the failing one go first, so
            // a failure to copy them is the one reported.
            copyRun();
            throw;
        }
        copyRun();
        return i;
    };
    bool aborted = false;
    try {
        for (int i = first; i < directory.Count() && !cancelled_;) {
            if (!Rewritten(directory.ItemAt(i)) && commit_.TailCopy) {
                i = copyUnchangedRun(i);
                continue;
            }
            const std::int64_t entryStart = archive.Position();
            bool ok = true;
            do {
                // What a failed attempt wrote goes before the next one.
                CutArchive(archive, entryStart);
                commit_.LastAction = fxaIgnore;
                if (Rewritten(directory.ItemAt(i))) {
                    ok = CompressEntry(i);
                } else {
                    CopyEntryRaw(i);
                    ok = true;
                }
            } while (!ok && commit_.LastAction == fxaRetry && !cancelled_);
            aborted = !ok && commit_.LastAction == fxaAbort;
            if (aborted || cancelled_) {
                break;
            }
            if (ok) {
                ++processedCount_;
                ++i;
                continue;
            }
            CutArchive(archive, entryStart);
            if (directory.ItemAt(i).Operation == poAdd) {
                directory.Delete(i);
            } else {
                CopyEntryRaw(i);
                ++i;
            }
        }
        if (!cancelled_ && !aborted) {
            manager.WriteDirectory(true);
            DiscardTailCopy();
        }
    } catch (...) {
        RollBackCommit();
        throw;
    }
    // The archive is whole now: a cancel from the last event no longer
    // undoes it.
    if (!cancelled_ && !aborted) {
        cancel = false;
        DoOverallProgress(100, operation, ppEnd, cancel);
        if (Options.FlushBuffers) {
            archive.Flush();
        }
        return;
    }
    RollBackCommit();
    // A commit undone for a failure is a failure to the caller; only a
    // cancel asked for returns normally.
    if (commit_.DiskFull) {
        throw EZipException(native::StreamWrite, this);
    }
    if (aborted && commit_.Failure) {
        throw *commit_.Failure;
    }
}

void TZipBaseArchiver::RollBackCommit() {
    TZipDirManager& manager = *dirManager_;
    platform::TFileStream& archive = *archiveStream_;
    manager.Directory.Assign(manager.SavedDirectory);
    manager.EndRecord = commit_.EndRecord;
    manager.Zip64Locator = commit_.Zip64Locator;
    manager.Zip64EndRecord = commit_.Zip64EndRecord;
    manager.IsZip64 = commit_.IsZip64;
    manager.DirectoryOffset = commit_.DirectoryOffset;
    manager.ArchiveComment = commit_.ArchiveComment;
    if (!commit_.TailCopy) {
        CutArchive(archive, commit_.CutPoint);
        manager.WriteDirectory(true);
        return;
    }
    bool restored = archive.SetSize(commit_.CutPoint);
    if (restored) {
        try {
            archive.SetPosition(commit_.CutPoint);
            commit_.TailCopy->SetPosition(0);
            archive.CopyFrom(*commit_.TailCopy, commit_.TailCopy->Size());
        } catch (const platform::EStreamError&) {
            restored = false;
        }
    }
    if (!restored) {
        // The tail copy is then the only copy of the old bytes: it stays in
        // the temporary folder.
        const platform::DWORD code = platform::GetLastError();
        commit_.TailCopy.reset();
        commit_.TailCopyName.clear();
        throw platform::EWriteError(code);
    }
    DiscardTailCopy();
}

}  // namespace archive
