// Moving staged projects into the projects folder so that they survive a
// power loss whole or not at all, with as few waits for the disk as can be:
// the projects that are ready at the same moment go in together, made
// durable by one flush of the file system before any of them is moved, and
// their moves by one flush of the projects folder.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <set>
#include <string>
#include <thread>
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

    // A thread that will bring a project soon says so, and says when it is
    // done (brought it or not); bringing it is enough. Whoever commits
    // waits for such threads a little, about as long as a commit takes, so
    // that their projects go in with its own rather than each waiting for
    // the disk in turn.
    void Expect();
    void Done();

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
    std::set<std::thread::id> coming_;
    // How long the last commit took: how long one waits for those coming.
    std::chrono::steady_clock::duration patience_{};
};

}  // namespace midlet
