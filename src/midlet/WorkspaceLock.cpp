#include "midlet/WorkspaceLock.h"

#include "platform/Errors.h"
#include "platform/Paths.h"
#include "platform/Stream.h"

namespace midlet {

WorkspaceLock::WorkspaceLock(const std::string& programFolder, const std::string& tempFolder) {
    // An exclusive open of the lock file holds write access and denies it to
    // every other open, so a second run's open fails with a sharing
    // violation. The file is never written: what is found at its name is
    // opened as it is, not emptied (a link there to another file leaves that
    // file whole), and a symbolic link is refused.
    try {
        file_ = std::make_unique<platform::TFileStream>(
            tempFolder + kWorkspaceLockName, platform::fmOpenReadWrite | platform::fmOpenAlways |
                                                 platform::fmShareExclusive | platform::fmNoFollow);
    } catch (const platform::EStreamError& e) {
        if (e.ErrorCode == platform::ERROR_SHARING_VIOLATION) {
            throw platform::Exception("Another run is using the workspace in \"" + programFolder +
                                      "\"; try again when it has ended");
        }
        throw;
    }
    names_ = std::make_unique<platform::FolderNameCacheScope>();
    for (const std::string& folder :
         {programFolder, tempFolder, programFolder + "projects" + platform::PathDelim}) {
        pins_.push_back(
            std::make_unique<platform::PinnedFolder>(folder, platform::PinScope::Names));
    }
}

WorkspaceLock::~WorkspaceLock() = default;

}  // namespace midlet
