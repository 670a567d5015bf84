#include "midlet/StagedProject.h"

#include "midlet/StepFailure.h"
#include "midlet/WorkspaceFiles.h"
#include "platform/Durable.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace midlet {

void CheckProjectPlace(const std::string& projectsFolder, const std::string& projectName) {
    const std::string place = projectsFolder + projectName;
    if (platform::GetFileAttributes(place) != platform::INVALID_FILE_ATTRIBUTES) {
        platform::RaiseInOutError(platform::ERROR_ALREADY_EXISTS);
    }
    const std::string name = platform::StripTrailingSpacesAndDots(projectName);
    if (const platform::DWORD error = platform::CheckNameComponent(name);
        error != platform::ERROR_SUCCESS) {
        platform::RaiseInOutError(error);
    }
}

StagedProject::StagedProject(const std::string& tempFolder, const std::string& projectsFolder,
                             const std::string& projectName, bool replaces)
    : name_(projectName), projectsFolder_(projectsFolder), replaces_(replaces) {
    // Nothing is staged for a project that could not be moved in.
    if (!replaces) {
        CheckProjectPlace(projectsFolder, projectName);
    } else if (!platform::DirectoryExists(projectsFolder + projectName)) {
        platform::RaiseInOutError(platform::ERROR_PATH_NOT_FOUND);
    }
    staging_.emplace(tempFolder);
}

void StagedProject::Commit() {
    FlushTree(Folder());
    if (replaces_) {
        CheckResult(platform::ExchangePaths(platform::ExcludeTrailingPathDelimiter(Folder()),
                                            projectsFolder_ + name_));
        CheckResult(platform::FlushFolder(projectsFolder_));
        staging_->Remove();
        return;
    }
    CheckResult(platform::MoveFile(platform::ExcludeTrailingPathDelimiter(Folder()),
                                   projectsFolder_ + name_));
    staging_->MovedAway();
    CheckResult(platform::FlushFolder(projectsFolder_));
}

}  // namespace midlet
