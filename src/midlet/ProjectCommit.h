// Moving staged projects into the projects folder so that they survive a
// power loss whole or not at all, with as few waits for the disk as can be:
// the projects that are ready at the same moment go in together, made
// durable by one flush of the file system before any of them is moved, and
// their moves by one flush of the projects folder.
#pragma once

#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "midlet/StagedProject.h"
#include "platform/Durable.h"

namespace midlet {

class ProjectCommitter {
  public:
    explicit ProjectCommitter(std::string projectsFolder)
        : projectsFolder_(std::move(projectsFolder)) {}

    // Moves the projects and their staged IDS files in, durably, together.
    // Gives for each project what failed of its commit (nullptr when
    // nothing did): the flush before the moves (nothing moved), its move,
    // or the flush of the projects folder after them (the project is then
    // whole in the projects folder, and the failure given all the same).
    // Several threads may call it at once; their groups go in in turn.
    std::vector<std::exception_ptr> CommitTogether(const std::vector<StagedProject*>& projects);

    // One project alone; raises what failed of its commit.
    void Commit(StagedProject& project);

  private:
    platform::HeldFolder projectsFolder_;  // under the mutex
    std::mutex mutex_;
};

}  // namespace midlet
