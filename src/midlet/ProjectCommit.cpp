#include "midlet/ProjectCommit.h"

#include <algorithm>

#include "midlet/StepFailure.h"
#include "platform/Durable.h"

namespace midlet {

namespace {

// A disk that takes longer than this for a commit is not waited for longer.
constexpr std::chrono::milliseconds kMostPatience{50};

}  // namespace

void ProjectCommitter::Commit(StagedProject& project) {
    Request request;
    request.project = &project;
    std::unique_lock lock(mutex_);
    waiting_.push_back(&request);
    coming_.erase(std::this_thread::get_id());
    committed_.notify_all();
    // Whoever finds no commit under way commits every project waiting by
    // then; the others wait for it, and one of them takes the next group.
    while (!request.done) {
        if (committing_) {
            committed_.wait(lock);
            continue;
        }
        committing_ = true;
        if (!coming_.empty()) {
            committed_.wait_for(lock, patience_, [&] { return coming_.empty(); });
        }
        const std::vector<Request*> group = std::move(waiting_);
        waiting_.clear();
        lock.unlock();
        const auto start = std::chrono::steady_clock::now();
        CommitGroup(group);
        const auto took = std::chrono::steady_clock::now() - start;
        lock.lock();
        patience_ = std::min<std::chrono::steady_clock::duration>(took, kMostPatience);
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

void ProjectCommitter::Expect() {
    const std::lock_guard lock(mutex_);
    coming_.insert(std::this_thread::get_id());
}

void ProjectCommitter::Done() {
    const std::lock_guard lock(mutex_);
    coming_.erase(std::this_thread::get_id());
    committed_.notify_all();
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
