#include "archive/extract/FailureDecision.h"

#include "archive/ZipArchiver.h"
#include "platform/TargetPath.h"

namespace archive {

EntryOutcome AttemptUnderFailureDecision(TZipBaseArchiver& archiver, const std::string& shownName,
                                         TZipProcessOperation operation,
                                         const std::function<bool()>& attempt,
                                         const std::function<bool()>& mayRetry) {
    EntryOutcome outcome;
    do {
        outcome = EntryOutcome{};
        try {
            outcome.Done = attempt();
        } catch (const EZipException& e) {
            outcome.Failure = e;
            archiver.DecideFailure(shownName, operation, e, outcome.Action);
        }
    } while (outcome.Failure && outcome.Action == fxaRetry && (!mayRetry || mayRetry()));
    return outcome;
}

void TZipBaseArchiver::DecideFailure(const std::string& fileName, TZipProcessOperation operation,
                                     const EZipException& failure, TZipAction& action) {
    failureReason_ = failure.Reason;
    DoProcessFileFailure(fileName, operation, failure.NativeError, failure.ErrorCode,
                         failure.Message(), action);
    failureReason_.clear();
}

std::string FailureReasonOf(platform::DWORD code) {
    switch (code) {
        case platform::ERROR_DISK_FULL:
            return "the disk is full";
        case platform::ERROR_CANT_RESOLVE_FILENAME:
            return "a symbolic link is in the way";
        case platform::ERROR_INVALID_NAME:
            return "invalid name, a memory card cannot hold it";
        default:
            break;
    }
    std::string text = platform::SysErrorMessage(code);
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

std::string FailureQuestion(const std::string& errorMessage, const std::string& reason) {
    if (reason.empty()) {
        return errorMessage + ". File processing error, possibly disk is full";
    }
    return errorMessage + ". File processing error: " + reason;
}

}  // namespace archive
