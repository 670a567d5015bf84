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
                             const std::string& projectName)
    : name_(projectName), projectsFolder_(projectsFolder) {
    // Nothing is staged for a project that could not be moved in.
    CheckProjectPlace(projectsFolder, projectName);
    staging_.emplace(tempFolder);
}

void StagedProject::Commit() {
    FlushTree(Folder());
    CheckResult(platform::MoveFile(platform::ExcludeTrailingPathDelimiter(Folder()),
                                   projectsFolder_ + name_));
    staging_->MovedAway();
    CheckResult(platform::FlushFolder(projectsFolder_));
}

}  // namespace midlet
