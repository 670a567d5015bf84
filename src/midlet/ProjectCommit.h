// Moving staged projects into the projects folder so that they survive a
// power loss whole or not at all, with as few waits for the disk as can be:
// the projects that are ready at the same moment go in together, made
// durable by one flush of the file system before any of them is moved, and
// their moves by one flush of the projects folder.
#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "midlet/StagedProject.h"

namespace midlet {

class ProjectCommitter {
  public:
    explicit ProjectCommitter(std::string projectsFolder)
        : projectsFolder_(std::move(projectsFolder)) {}

    // Moves `project` and its staged IDS file in, durably. Raises what
    // failed for the project: the flush before the move (nothing moved),
    // its move, or the flush of the projects folder after it (the project
    // is then whole in the projects folder, and the failure raised all the
    // same). Several threads may call it at once; one of them commits what
    // all of them brought.
    void Commit(StagedProject& project);

  private:
    struct Request {
        StagedProject* project = nullptr;
        bool done = false;
        std::exception_ptr failure;
    };
    void CommitGroup(const std::vector<Request*>& group);

    std::string projectsFolder_;
    std::mutex mutex_;
    std::condition_variable committed_;
    std::vector<Request*> waiting_;
    bool committing_ = false;
};

}  // namespace midlet
