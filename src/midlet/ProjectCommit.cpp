#include "midlet/ProjectCommit.h"

#include <algorithm>

#include "midlet/StepFailure.h"
#include "platform/Durable.h"

namespace midlet {

std::vector<std::exception_ptr> ProjectCommitter::CommitTogether(
    const std::vector<StagedProject*>& projects) {
    std::vector<std::exception_ptr> failures(projects.size());
    if (projects.empty()) {
        return failures;
    }
    const std::lock_guard lock(mutex_);
    // Every file and folder of the projects, and their IDS files, reach the
    // disk before any project is moved in.
    try {
        CheckResult(projectsFolder_.FlushFileSystem());
    } catch (const std::exception&) {
        std::fill(failures.begin(), failures.end(), std::current_exception());
        return failures;
    }
    std::vector<std::size_t> moved;
    for (std::size_t i = 0; i < projects.size(); ++i) {
        try {
            projects[i]->MoveIn();
            moved.push_back(i);
        } catch (const std::exception&) {
            failures[i] = std::current_exception();
        }
    }
    for (const std::size_t i : moved) {
        projects[i]->MoveIdsIn();
    }
    if (moved.empty()) {
        return failures;
    }
    try {
        CheckResult(projectsFolder_.Flush());
    } catch (const std::exception&) {
        for (const std::size_t i : moved) {
            failures[i] = std::current_exception();
        }
    }
    return failures;
}

void ProjectCommitter::Commit(StagedProject& project) {
    const std::exception_ptr failure = CommitTogether({&project}).front();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace midlet
