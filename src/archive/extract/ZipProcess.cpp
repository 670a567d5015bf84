// The entry loop that every mask operation runs over the selected entries:
// events before and after each entry, the failure decision for an entry
// that fails, and cancelling.
#include <mutex>

#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "archive/codec/ZipZlib.h"
#include "archive/extract/FailureDecision.h"
#include "archive/names/ZipSelect.h"
#include "archive/names/ZipStrFunc.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace archive {

namespace {

bool ReportsProgress(TZipProcessOperation operation) {
    return operation == poExtract || operation == poTest;
}

}  // namespace

EntryCodecContext TZipBaseArchiver::CodecContext(const std::string& fileName,
                                                 TZipProcessOperation operation) {
    EntryCodecContext context;
    context.Archiver = this;
    context.Zip64Mode = CurrentZip64Mode();
    context.Progress = [this, fileName, operation](std::uint64_t done, std::uint64_t total) {
        const double share = total == 0 ? 1.0 : static_cast<double>(done) / total;
        bool cancel = false;
        DoFileProgress(fileName, share * 100.0, operation, ppProcess, cancel);
        const double overall =
            selectedCount_ == 0 ? 100.0 : (processedCount_ + share) * 100.0 / selectedCount_;
        DoOverallProgress(overall, operation, ppProcess, cancel);
        cancelled_ = cancelled_ || cancel;
        return cancelled_;
    };
    context.DiskFull = [this](const std::string& archiveFileName) {
        bool cancel = true;
        DoDiskFull(0, archiveFileName, cancel);
        cancelled_ = cancelled_ || cancel;
        return cancel;
    };
    return context;
}

void TZipBaseArchiver::ExtractByMask(const std::string& mask, std::uint32_t searchAttr,
                                     const std::string& exclusionMask, MaskText maskText) {
    if (!isOpen_) {
        throw EZipException(native::ArchiveNotOpen, this);
    }
    if (transactionDepth_ > 0) {
        throw EZipException(native::UpdateNotEnded, this);
    }
    SelectEntries(dirManager_->Directory, mask, searchAttr, exclusionMask, Options, maskText);
    extraction_.StartCall();
    // Each folder is read once for case variants, not once per new file.
    const platform::FolderNameCacheScope folderNames;
    ProcessSelectedEntries(poExtract);
}

namespace {

// The folders an extraction loop opened are closed when it ends, however.
struct ExtractionCallEnd {
    EntryExtraction& extraction;
    bool extracting;
    ~ExtractionCallEnd() {
        if (extracting) {
            extraction.EndCall();
        }
    }
};

}  // namespace

void TZipBaseArchiver::ExtractEntry(int index, const std::string& name,
                                    const std::string& destinationFolder) {
    extraction_.ToFile(index, name, destinationFolder);
}

// A call of its own: a cancel left over from an earlier operation (an update
// abandoned after a failure) must not stop this one before its first byte,
// which would pass for an empty entry.
void TZipBaseArchiver::ExtractToStream(int index, EntrySink& target) {
    cancelled_ = false;
    extraction_.ToSink(index, target);
}

void TZipBaseArchiver::ProcessSelectedEntries(TZipProcessOperation operation) {
    std::lock_guard lock(platform::ArchiveLock());
    const ExtractionCallEnd callEnd{extraction_, operation == poExtract};
    StartEntryLoop(operation);
    TZipDirArray& directory = dirManager_->Directory;
    bool leave = cancelled_;
    bool aborted = false;
    // Nothing selects an entry while the loop runs: past the last selected
    // entry the list is not walked on.
    int unvisited = selectedCount_;
    for (int i = 0; !leave && unvisited > 0 && i < directory.Count();) {
        if (!directory.IsSelected(i)) {
            ++i;
            continue;
        }
        --unvisited;
        directory.ItemAt(i).Operation = operation;
        const EntryPass pass = ProcessEntry(i, operation);
        leave = pass.Leave;
        aborted = pass.Aborted;
        // After a delete the same index holds the next entry; an entry that
        // stayed is passed.
        if (!pass.Removed) {
            ++i;
        }
    }
    EndEntryLoop(operation, aborted);
}

void TZipBaseArchiver::StartEntryLoop(TZipProcessOperation operation) {
    TZipDirArray& directory = dirManager_->Directory;
    processedCount_ = 0;
    selectedCount_ = 0;
    failedCount_ = 0;
    lastEntryFailure_.clear();
    cancelled_ = false;
    for (int i = 0; i < directory.Count(); ++i) {
        selectedCount_ += directory.IsSelected(i) ? 1 : 0;
    }
    if (ReportsProgress(operation)) {
        bool cancel = false;
        DoOverallProgress(0, operation, ppStart, cancel);
        cancelled_ = cancel;
    }
}

// A cancelled or aborted loop leaves nothing of its transaction behind.
void TZipBaseArchiver::EndEntryLoop(TZipProcessOperation operation, bool aborted) {
    if (ReportsProgress(operation)) {
        bool cancel = false;
        DoOverallProgress(100, operation, ppEnd, cancel);
        cancelled_ = cancelled_ || cancel;
    }
    if (cancelled_ || aborted) {
        AbandonTransaction();
    }
}

// The events around one entry and the operation itself, as often as the
// failure decision answers Retry.
TZipBaseArchiver::EntryPass TZipBaseArchiver::ProcessEntry(int index,
                                                           TZipProcessOperation operation) {
    EntryPass pass;
    const std::string name = ReplaceChar(dirManager_->Directory.ItemAt(index).Name, '/', '\\');
    const EntryOutcome outcome = AttemptUnderFailureDecision(*this, name, operation, [&] {
        bool confirm = true;
        DoConfirmProcessFile(name, operation, confirm);
        if (!confirm) {
            return false;
        }
        if (ReportsProgress(operation)) {
            bool cancel = false;
            DoFileProgress(name, 0, operation, ppStart, cancel);
            cancelled_ = cancelled_ || cancel;
            if (cancelled_) {
                pass.Leave = true;
                return false;
            }
        }
        pass.Removed = ApplyOperation(index, name, operation);
        if (ReportsProgress(operation)) {
            bool cancel = false;
            DoFileProgress(name, 100, operation, ppEnd, cancel);
            cancelled_ = cancelled_ || cancel;
        }
        if (cancelled_) {
            pass.Leave = true;
            return false;
        }
        ++processedCount_;
        return true;
    });
    failedCount_ += outcome.Failure ? 1 : 0;
    if (outcome.Failure) {
        lastEntryFailure_ = outcome.Failure->Message();
    }
    pass.Aborted = outcome.Aborted();
    pass.Leave = pass.Leave || pass.Aborted;
    return pass;
}

// True when the entry left the list.
bool TZipBaseArchiver::ApplyOperation(int index, const std::string& name,
                                      TZipProcessOperation operation) {
    const std::string destination = platform::IncludeTrailingPathDelimiter(BaseDir);
    switch (operation) {
        case poDelete:
            dirManager_->Directory.Delete(index);
            return true;
        case poUpdate:
            RefreshEntry(index, name, destination);
            break;
        case poExtract:
            ExtractEntry(index, name, destination);
            break;
        case poTest:
            if (!dirManager_->Directory.ItemAt(index).IsFolder()) {
                TNullStream nowhere;
                extraction_.ToSink(index, nowhere);
            }
            break;
        default:
            break;
    }
    return false;
}

}  // namespace archive
