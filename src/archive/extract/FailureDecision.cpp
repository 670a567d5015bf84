#include "archive/extract/FailureDecision.h"

#include "archive/ZipArchiver.h"

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
            archiver.DoProcessFileFailure(shownName, operation, e.NativeError, e.ErrorCode,
                                          e.Message(), outcome.Action);
        }
    } while (outcome.Failure && outcome.Action == fxaRetry && (!mayRetry || mayRetry()));
    return outcome;
}

}  // namespace archive
