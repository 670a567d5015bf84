#include "platform/TargetPath.h"

#include <sys/stat.h>

#include <utility>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace platform {

TargetFolder::TargetFolder(const std::string& folder) : given_(folder) {
    ResolvedPath resolved = Resolve(NormalizeSeparators(folder));
    struct stat info;
    if (resolved.exists && !resolved.components.empty() && StatPath(resolved.path, info) &&
        S_ISDIR(info.st_mode)) {
        resolved_ = std::make_unique<ResolvedPath>(std::move(resolved));
    }
}

TargetFolder::~TargetFolder() = default;

TargetPath::TargetPath(const std::string& folder, const std::string& name)
    : given_(NormalizeSeparators(folder + name)),
      resolved_(std::make_unique<ResolvedPath>(Resolve(given_))),
      folderComponents_(SplitComponents(folder).size()) {
    LookAtTarget();
}

TargetPath::TargetPath(const TargetFolder& folder, const std::string& name)
    : given_(NormalizeSeparators(folder.Given() + name)),
      resolved_(std::make_unique<ResolvedPath>(
          folder.resolved_ ? ResolveBelow(*folder.resolved_, NormalizeSeparators(name))
                           : Resolve(given_))),
      folderComponents_(folder.resolved_ ? folder.resolved_->components.size()
                                         : SplitComponents(folder.Given()).size()) {
    LookAtTarget();
}

void TargetPath::LookAtTarget() {
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
