#include "midlet/StagedProject.h"

#include <exception>

#include "midlet/StepFailure.h"
#include "midlet/WorkspaceFiles.h"
#include "platform/Durable.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"

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
    : name_(projectName),
      projectsFolder_(projectsFolder),
      tempFolder_(tempFolder),
      replaces_(replaces) {
    // Nothing is staged for a project that could not be moved in.
    if (!replaces) {
        CheckProjectPlace(projectsFolder, projectName);
    } else if (!platform::DirectoryExists(projectsFolder + projectName)) {
        platform::RaiseInOutError(platform::ERROR_PATH_NOT_FOUND);
    }
    staging_.emplace(tempFolder);
}

void StagedProject::StageIds(const std::vector<std::string>& lines) {
    try {
        ids_.emplace(tempFolder_);
        platform::TextFile file;
        file.Rewrite(ids_->Path());
        for (const std::string& line : lines) {
            file.WriteLn(line);
        }
        file.Close();
    } catch (const std::exception& e) {
        ids_.reset();
        idsFailure_ = ReasonOf(e);
    }
}

void StagedProject::MoveIn() {
    if (replaces_) {
        // The earlier project now stands in the staging folder, which is
        // removed with it once the exchange is on the disk.
        CheckResult(platform::ExchangePaths(platform::ExcludeTrailingPathDelimiter(Folder()),
                                            projectsFolder_ + name_));
        return;
    }
    CheckResult(platform::MoveFile(platform::ExcludeTrailingPathDelimiter(Folder()),
                                   projectsFolder_ + name_));
    staging_->MovedAway();
}

void StagedProject::MoveIdsIn() {
    if (!ids_) {
        return;
    }
    try {
        CheckResult(platform::MoveFileEx(ids_->Path(), projectsFolder_ + name_ + ".ids",
                                         platform::MOVEFILE_REPLACE_EXISTING));
        ids_->MovedAway();
    } catch (const std::exception& e) {
        idsFailure_ = ReasonOf(e);
    }
}

}  // namespace midlet
