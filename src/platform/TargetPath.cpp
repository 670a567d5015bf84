#include "platform/TargetPath.h"

#include <sys/stat.h>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace platform {

TargetPath::TargetPath(const std::string& folder, const std::string& name)
    : given_(NormalizeSeparators(folder + name)),
      resolved_(std::make_unique<ResolvedPath>(Resolve(given_))),
      folderComponents_(SplitComponents(folder).size()) {
    struct stat info;
    if (resolved_->exists && StatPath(resolved_->path, info)) {
        attributes_ = AttributesOf(*resolved_, info);
        isFile_ = !S_ISDIR(info.st_mode);
        age_ = isFile_ ? DosAgeOf(info) : -1;
    }
}

TargetPath::~TargetPath() = default;

bool TargetPath::LinkBelowFolder() const {
    // The last link on the path is below the folder if any is.
    return resolved_->lastLink < resolved_->components.size() &&
           resolved_->lastLink >= folderComponents_;
}

bool TargetPath::FoldersReady() const {
    return resolved_->error == ERROR_SUCCESS && resolved_->components.size() >= 2 &&
           resolved_->parentIsFolder && !given_.empty() && given_.back() != '/';
}

}  // namespace platform
