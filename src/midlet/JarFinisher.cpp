#include "midlet/JarFinisher.h"

#include <exception>

#include "midlet/JarPreparation.h"
#include "midlet/JarSchedule.h"
#include "midlet/ProjectCommit.h"

namespace midlet {

JarFinisher::JarFinisher(JarSchedule& schedule, ProjectCommitter& committer, ProjectNames& names)
    : schedule_(schedule), committer_(committer), names_(names), thread_([this] { Run(); }) {}

JarFinisher::~JarFinisher() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    handed_.notify_all();
    thread_.join();
}

void JarFinisher::Hand(std::size_t index, std::unique_ptr<JarPreparation> jar) {
    {
        const std::lock_guard lock(mutex_);
        waiting_.push_back({index, std::move(jar)});
    }
    handed_.notify_all();
}

void JarFinisher::Run() {
    for (;;) {
        std::vector<Handed> group;
        {
            std::unique_lock lock(mutex_);
            handed_.wait(lock, [&] { return ending_ || !waiting_.empty(); });
            if (waiting_.empty()) {
                return;
            }
            handed_.wait_for(lock, kLongestGathering,
                             [&] { return ending_ || waiting_.size() >= kGathered; });
            group.swap(waiting_);
        }
        try {
            FinishTogether(group);
        } catch (...) {
            schedule_.Broken(std::current_exception());
        }
    }
}

void JarFinisher::FinishTogether(std::vector<Handed>& group) {
    std::vector<StagedProject*> projects;
    std::vector<std::size_t> committing;  // the place in `group` of each project
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (StagedProject* project = group[i].jar->ProjectToCommit(names_)) {
            projects.push_back(project);
            committing.push_back(i);
        }
    }
    const std::vector<std::exception_ptr> failures = committer_.CommitTogether(projects);
    std::vector<std::exception_ptr> failureOf(group.size());
    for (std::size_t k = 0; k < committing.size(); ++k) {
        failureOf[committing[k]] = failures[k];
    }
    for (std::size_t i = 0; i < group.size(); ++i) {
        group[i].jar->Committed(failureOf[i], names_);
        schedule_.Finished(group[i].index, std::move(group[i].jar));
    }
}

}  // namespace midlet
