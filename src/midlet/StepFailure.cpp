#include "midlet/StepFailure.h"

namespace midlet {

StepFailure::StepFailure(const std::string& step, const std::string& listed,
                         const std::string& reason)
    : platform::Exception("Could not " + step + " for \"" + listed + "\": " + reason) {}

namespace {

// The system's words for the last error when it tells of the disk: a full
// disk or an I/O error; else nothing.
std::string DiskReasonUnder() {
    const platform::DWORD code = platform::GetLastError();
    if (code != platform::ERROR_DISK_FULL && code != platform::RUNTIME_DISK_FULL &&
        code != platform::ERROR_IO_DEVICE) {
        return {};
    }
    return " (" + ReasonForCode(code) + ")";
}

}  // namespace

std::string ReasonForCode(platform::DWORD code) {
    if (code == platform::RUNTIME_DISK_FULL) {
        code = platform::ERROR_DISK_FULL;
    }
    const std::string words = platform::SysErrorMessage(code);
    return words.empty() ? platform::InOutErrorMessage(code) : words;
}

std::string ReasonOf(const std::exception& failure) {
    platform::DWORD code = platform::ERROR_SUCCESS;
    if (const auto* io = dynamic_cast<const platform::EInOutError*>(&failure)) {
        code = io->ErrorCode;
    } else if (const auto* stream = dynamic_cast<const platform::EStreamError*>(&failure)) {
        code = stream->ErrorCode;
    }
    if (code != platform::ERROR_SUCCESS) {
        return ReasonForCode(code);
    }
    return failure.what() + DiskReasonUnder();
}

void CheckResult(bool succeeded) {
    if (!succeeded) {
        platform::RaiseInOutError(platform::GetLastError());
    }
}

}  // namespace midlet
