// The failure of one step of a JAR's preparation: what was being done, for
// which listed JAR, and why, so that a full disk or a failed flush is told
// as such and never as a missing file.
#pragma once

#include <exception>
#include <string>

#include "platform/Errors.h"

namespace midlet {

// "Could not <step> for "<listed>": <reason>".
class StepFailure : public platform::Exception {
  public:
    StepFailure(const std::string& step, const std::string& listed, const std::string& reason);
};

// The system's words for a code ("There is not enough space on the disk.");
// the runtime's disk-full code reads as the system's.
std::string ReasonForCode(platform::DWORD code);

// Why an exception was raised: the system's words for the code of a file
// or stream failure, else its message. The archive engine's failures carry
// no system code: when the call that failed under one left a full disk or
// an I/O error as the last error, the system's words for it follow.
std::string ReasonOf(const std::exception& failure);

// Raises EInOutError with the last error when a service that reports only
// a result (a copy, a move, a flush) failed.
void CheckResult(bool succeeded);

// Runs `work` as the step named `step`: whatever it raises becomes the
// step's failure. A StepFailure from a step inside passes as it is.
template <typename Work>
auto RunStep(const std::string& step, const std::string& listed, Work&& work) -> decltype(work()) {
    platform::SetLastError(platform::ERROR_SUCCESS);
    try {
        return work();
    } catch (const StepFailure&) {
        throw;
    } catch (const std::exception& e) {
        throw StepFailure(step, listed, ReasonOf(e));
    }
}

}  // namespace midlet
