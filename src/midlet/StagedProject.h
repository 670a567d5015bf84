// A project built in a staging folder of its own and moved into the
// projects folder whole, as its last step: the projects folder only ever
// holds complete projects, and a run killed on the way leaves nothing there.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "midlet/Staging.h"

namespace midlet {

// Raises EInOutError as making the project folder `projectsFolder` +
// `projectName` would: 183 when something there has that name (in any
// case; an empty name names the projects folder itself), 123 or 206 for a
// name a memory card cannot hold.
void CheckProjectPlace(const std::string& projectsFolder, const std::string& projectName);

class StagedProject {
  public:
    // Checks the project's place (CheckProjectPlace), then makes the
    // staging folder (EInOutError when it cannot be made). A project that
    // `replaces` the one in its place needs that place taken, by a folder.
    StagedProject(const std::string& tempFolder, const std::string& projectsFolder,
                  const std::string& projectName, bool replaces = false);

    // The staged project folder, with its trailing delimiter, and the JAD
    // and the JAR in it.
    const std::string& Folder() const { return staging_->Path(); }
    std::string Jad() const { return Folder() + name_ + ".jad"; }
    std::string Jar() const { return Folder() + name_ + ".jar"; }

    // Writes the project's IDS file with these lines into a staging place
    // of the temp folder, to be moved in right after the project. Never
    // raises: a failure is kept (IdsFailure) and told once the project is
    // in, as a failure of the IDS file alone.
    void StageIds(const std::vector<std::string>& lines);
    // Why the IDS file was not staged or not moved in; empty when it was.
    const std::string& IdsFailure() const { return idsFailure_; }

    // The committing steps (ProjectCommitter), once the project and its IDS
    // file are on the disk: moves the folder into the projects folder under
    // the project's name, never over anything found there (raises when it
    // cannot), then the IDS file over the project's IDS file (a failure is
    // kept in IdsFailure). The projects folder is flushed after them. A
    // project that replaces another exchanges places with it in one step
    // instead (a reader finds the one or the other, never neither); the
    // other goes with the staging folder it took.
    void MoveIn();
    void MoveIdsIn();
    const std::string& ProjectsFolder() const { return projectsFolder_; }

  private:
    std::string name_;
    std::string projectsFolder_;
    std::string tempFolder_;
    bool replaces_;
    std::optional<StagingFolder> staging_;
    std::optional<StagingFile> ids_;
    std::string idsFailure_;
};

}  // namespace midlet
