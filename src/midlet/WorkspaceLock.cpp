#include "midlet/WorkspaceLock.h"

#include "platform/Errors.h"
#include "platform/Stream.h"

namespace midlet {

WorkspaceLock::WorkspaceLock(const std::string& programFolder, const std::string& tempFolder) {
    // An exclusive open of the lock file holds write access and denies it to
    // every other open, so a second run's open fails with a sharing
    // violation.
    try {
        file_ = std::make_unique<platform::TFileStream>(
            tempFolder + kWorkspaceLockName,
            platform::fmCreate | platform::fmShareExclusive | platform::fmNoFollow);
    } catch (const platform::EStreamError& e) {
        if (e.ErrorCode == platform::ERROR_SHARING_VIOLATION) {
            throw platform::Exception("Another run is using the workspace in \"" + programFolder +
                                      "\"; try again when it has ended");
        }
        throw;
    }
}

WorkspaceLock::~WorkspaceLock() = default;

}  // namespace midlet
