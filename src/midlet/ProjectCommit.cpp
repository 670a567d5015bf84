#include "midlet/ProjectCommit.h"

#include "midlet/StepFailure.h"
#include "platform/Durable.h"

namespace midlet {

void ProjectCommitter::Commit(StagedProject& project) {
    Request request;
    request.project = &project;
    std::unique_lock lock(mutex_);
    waiting_.push_back(&request);
    // Whoever finds no commit under way commits every project waiting by
    // then; the others wait for it, and one of them takes the next group.
    while (!request.done) {
        if (committing_) {
            committed_.wait(lock);
            continue;
        }
        committing_ = true;
        const std::vector<Request*> group = std::move(waiting_);
        waiting_.clear();
        lock.unlock();
        CommitGroup(group);
        lock.lock();
        committing_ = false;
        for (Request* done : group) {
            done->done = true;
        }
        committed_.notify_all();
    }
    lock.unlock();
    if (request.failure) {
        std::rethrow_exception(request.failure);
    }
}

void ProjectCommitter::CommitGroup(const std::vector<Request*>& group) {
    // Every file and folder of the projects, and their IDS files, reach the
    // disk before any project is moved in.
    try {
        CheckResult(platform::FlushFileSystemOf(projectsFolder_));
    } catch (const std::exception&) {
        for (Request* request : group) {
            request->failure = std::current_exception();
        }
        return;
    }
    std::vector<Request*> moved;
    for (Request* request : group) {
        try {
            request->project->MoveIn();
            moved.push_back(request);
        } catch (const std::exception&) {
            request->failure = std::current_exception();
        }
    }
    for (Request* request : moved) {
        request->project->MoveIdsIn();
    }
    if (moved.empty()) {
        return;
    }
    try {
        CheckResult(platform::FlushFolder(projectsFolder_));
    } catch (const std::exception&) {
        for (Request* request : moved) {
            request->failure = std::current_exception();
        }
    }
}

}  // namespace midlet
