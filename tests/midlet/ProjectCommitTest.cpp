// Projects committed in groups from several threads at once, with one of
// the commit's flushes or moves failed: whichever projects went in
// together, a project whose commit failed is not in the projects folder (or
// is whole, when only the flush after the moves failed), and every other
// one is whole with its IDS file.
#include <gtest/gtest.h>

#include <thread>

#include "midlet/PrepareSupport.h"
#include "midlet/ProjectCommit.h"
#include "platform/Faults.h"

namespace preptest {
namespace {

struct CommitFault {
    platform::FaultPoint point;
    int nth;
    bool projectStaysOnFailure;  // the move was made before the call failed
};

class ProjectCommit : public ::testing::TestWithParam<CommitFault> {
  protected:
    void TearDown() override { platform::DisarmAllFaults(); }
};

TEST_P(ProjectCommit, ARaisedCommitLeavesNoPartOfItsProject) {
    midlet::ScratchFolder folder;
    const std::string temp = folder / "temp/";
    const std::string projects = folder / "projects/";
    fs::create_directories(temp);
    fs::create_directories(projects);
    constexpr int kProjects = 6;
    std::vector<std::unique_ptr<midlet::StagedProject>> staged;
    for (int i = 0; i < kProjects; ++i) {
        const std::string name = "Project" + std::to_string(i);
        staged.push_back(std::make_unique<midlet::StagedProject>(temp, projects, name));
        WriteBytes(staged.back()->Jad(), "jad " + name);
        WriteBytes(staged.back()->Jar(), "jar " + name);
        staged.back()->StageIds({name});
    }
    midlet::ProjectCommitter committer(projects);
    std::vector<int> raised(kProjects, 0);
    platform::ArmFault(GetParam().point, GetParam().nth);
    {
        // Two alone, two groups of two.
        const std::vector<std::vector<int>> groups{{0}, {1, 2}, {3}, {4, 5}};
        std::vector<std::jthread> threads;
        for (const std::vector<int>& group : groups) {
            threads.emplace_back([&, group] {
                if (group.size() == 1) {
                    try {
                        committer.Commit(*staged[group[0]]);
                    } catch (const std::exception&) {
                        raised[group[0]] = 1;
                    }
                    return;
                }
                std::vector<midlet::StagedProject*> together;
                for (int i : group) {
                    together.push_back(staged[i].get());
                }
                const auto failures = committer.CommitTogether(together);
                for (std::size_t k = 0; k < group.size(); ++k) {
                    raised[group[k]] = failures[k] ? 1 : 0;
                }
            });
        }
    }
    platform::DisarmAllFaults();
    EXPECT_GE(std::count(raised.begin(), raised.end(), 1), 1);
    for (int i = 0; i < kProjects; ++i) {
        const std::string name = "Project" + std::to_string(i);
        SCOPED_TRACE(name);
        const bool whole = ReadBytes(projects + name + "/" + name + ".jad") == "jad " + name &&
                           ReadBytes(projects + name + "/" + name + ".jar") == "jar " + name;
        if (raised[i] && !GetParam().projectStaysOnFailure) {
            EXPECT_FALSE(fs::exists(projects + name));
            EXPECT_FALSE(fs::exists(projects + name + ".ids"));
        } else {
            EXPECT_TRUE(whole);
            EXPECT_EQ(staged[i]->IdsFailure(), "");
            EXPECT_EQ(ReadBytes(projects + name + ".ids"), name + "\r\n");
        }
    }
    staged.clear();
    EXPECT_EQ(FolderNames(temp), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ProjectCommit,
    ::testing::Values(CommitFault{platform::FaultPoint::Flush, 1, false},  // before the moves
                      CommitFault{platform::FaultPoint::MoveFile, 1, false},
                      CommitFault{platform::FaultPoint::Flush, 2, true}));  // after them

}  // namespace
}  // namespace preptest
