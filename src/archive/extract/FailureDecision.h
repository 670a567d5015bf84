// The failure decision over the attempts at one entry: an attempt that fails
// with an EZipException is put to the archiver's DoProcessFileFailure, whose
// answer retries the entry, passes it, or aborts the whole operation. The
// entry loop of the mask operations and the commit both run it. The
// question to the user says why the entry failed when that is known.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "archive/ZipExcept.h"
#include "archive/ZipTypes.h"
#include "platform/Errors.h"

namespace archive {

class TZipBaseArchiver;

// What came of the attempts at one entry: the last one tells.
struct EntryOutcome {
    bool Done = false;                     // the attempt ran through and said so
    TZipAction Action = fxaIgnore;         // the decision on its failure
    std::optional<EZipException> Failure;  // the failure, when it raised one

    bool Aborted() const { return Failure.has_value() && Action == fxaAbort; }
};

// Runs `attempt` until it ends without an EZipException, or the decision on
// its failure is other than Retry, or `mayRetry` (when given) says no more.
// `shownName` names the entry to the handler. Other exceptions pass through.
EntryOutcome AttemptUnderFailureDecision(TZipBaseArchiver& archiver, const std::string& shownName,
                                         TZipProcessOperation operation,
                                         const std::function<bool()>& attempt,
                                         const std::function<bool()>& mayRetry = {});

// Why a call failed, for EZipException::Reason: "the disk is full", "a
// symbolic link is in the way", "invalid name, ...", else the system's
// message for the code (without its full stop).
std::string FailureReasonOf(platform::DWORD code);

// The text of the failure question: the message, then why the entry failed;
// "possibly disk is full" when that is not known.
std::string FailureQuestion(const std::string& errorMessage, const std::string& reason);

}  // namespace archive
