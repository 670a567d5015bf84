// The entry loop that every mask operation runs over the selected entries:
// events before and after each entry, the failure decision for an entry
// that fails, and cancelling.
#include <mutex>

#include "archive/ZipArchiver.h"
#include "archive/ZipStrFunc.h"
#include "archive/ZipZlib.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace archive {

namespace {

bool ReportsProgress(TZipProcessOperation operation) {
    return operation == poExtract || operation == poTest;
}

}  // namespace

TZipCodecContext TZipBaseArchiver::CodecContext(const std::string& fileName,
                                                TZipProcessOperation operation) {
    TZipCodecContext context;
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
        commit_.DiskFull = commit_.DiskFull || cancel;
        return cancel;
    };
    return context;
}

void TZipBaseArchiver::ProcessSelectedEntries(TZipProcessOperation operation) {
    // 1.
    std::lock_guard lock(platform::ArchiveLock());
    TZipDirArray& directory = dirManager_->Directory;
    // 2.
    processedCount_ = 0;
    selectedCount_ = 0;
    cancelled_ = false;
    for (int i = 0; i < directory.Count(); ++i) {
        selectedCount_ += directory.ItemAt(i).Selected ? 1 : 0;
    }
    // 3.
    bool cancel = false;
    if (ReportsProgress(operation)) {
        DoOverallProgress(0, operation, ppStart, cancel);
        cancelled_ = cancel;
    }
    // 4.
    TZipAction action = fxaIgnore;
    bool leave = cancelled_;
    for (int i = 0; !leave && i < directory.Count();) {
        // 4.1-4.2.
        if (!directory.ItemAt(i).Selected) {
            ++i;
            continue;
        }
        directory.ItemAt(i).Operation = operation;
        bool removed = false;
        // 4.3. As often as the failure decision answers Retry.
        do {
            action = fxaIgnore;
            const std::string name = ReplaceChar(directory.ItemAt(i).Name, '/', '\\');
            try {
                bool confirm = true;
                DoConfirmProcessFile(name, operation, confirm);
                if (!confirm) {
                    break;
                }
                const std::string destination = platform::IncludeTrailingPathDelimiter(BaseDir);
                if (ReportsProgress(operation)) {
                    cancel = false;
                    DoFileProgress(name, 0, operation, ppStart, cancel);
                    cancelled_ = cancelled_ || cancel;
                    if (cancelled_) {
                        leave = true;
                        break;
                    }
                }
                switch (operation) {
                    case poDelete:
                        directory.Delete(i);
                        removed = true;
                        break;
                    case poUpdate:
                        RefreshEntry(i, name, destination);
                        break;
                    case poExtract:
                        ExtractEntry(i, name, destination);
                        break;
                    case poTest:
                        if (!directory.ItemAt(i).IsFolder()) {
                            TNullStream nowhere;
                            ExtractToStream(i, nowhere);
                        }
                        break;
                    default:
                        break;
                }
                if (ReportsProgress(operation)) {
                    cancel = false;
                    DoFileProgress(name, 100, operation, ppEnd, cancel);
                    cancelled_ = cancelled_ || cancel;
                }
                if (cancelled_) {
                    leave = true;
                    break;
                }
                ++processedCount_;
            } catch (const EZipException& e) {
                DoProcessFileFailure(name, operation, e.NativeError, e.ErrorCode, e.Message(),
                                     action);
                leave = action == fxaAbort;
            }
        } while (action == fxaRetry);
        // 4.4. After a delete the same index holds the next entry; an entry
        // that stayed is passed.
        if (!removed) {
            ++i;
        }
    }
    // 5.
    if (ReportsProgress(operation)) {
        cancel = false;
        DoOverallProgress(100, operation, ppEnd, cancel);
        cancelled_ = cancelled_ || cancel;
    }
    // 6.
    if (cancelled_ || action == fxaAbort) {
        AbandonTransaction();
    }
}

}  // namespace archive
