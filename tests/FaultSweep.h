// Running a piece of work under the fault seam's sweep: once to count the
// calls it makes that change the disk, then with a chosen call failed, or
// in a child process stopped right before that call, as a kill would.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "platform/Faults.h"

// How many modifying calls `work` makes.
inline int CountModifyingCalls(const std::function<void()>& work) {
    platform::ArmSweep(0, platform::SweepAction::Fail);
    work();
    const int calls = platform::SweepCalls();
    platform::DisarmAllFaults();
    return calls;
}

// Runs `work` with its `nth` modifying call failed; `work` reports what it
// saw through its own result.
template <typename Work>
auto RunFailingAt(int nth, Work&& work) {
    platform::ArmSweep(nth, platform::SweepAction::Fail);
    struct Disarm {
        ~Disarm() { platform::DisarmAllFaults(); }
    } disarm;
    return work();
}

// Runs `work` in a child process that ends right before its `nth` modifying
// call. Gives the child's exit status: platform::kSweepStopStatus when it was
// stopped, else what `work` returned; -1 when the child died otherwise.
inline int RunStoppedAt(int nth, const std::function<int()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        platform::ArmSweep(nth, platform::SweepAction::Stop);
        _exit(work());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}
