// A project built in a staging folder of its own and moved into the
// projects folder whole, as its last step: the projects folder only ever
// holds complete projects, and a run killed on the way leaves nothing there.
#pragma once

#include <optional>
#include <string>

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

    // Flushes every file and folder of the project, moves its folder into
    // the projects folder under the project's name (never over anything
    // found there), and flushes the projects folder. Until the move, a
    // failure leaves nothing in the projects folder; a failed flush after
    // it leaves the whole project there, and is raised all the same.
    // A project that replaces another exchanges places with it in one step
    // instead (a reader finds the one or the other, never neither), and
    // then removes the other from the staging place it took.
    void Commit();

  private:
    std::string name_;
    std::string projectsFolder_;
    bool replaces_;
    std::optional<StagingFolder> staging_;
};

}  // namespace midlet
