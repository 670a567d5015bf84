// A one-JAR preparation of a real suite (full JAD, IDS, icon in a folder)
// with every call that changes the disk failed in turn, and stopped right
// before it as a kill would. After each: a failure is reported exactly when
// the project is not whole, the projects folder holds nothing of it or the
// whole project, the listed JAR is unchanged, and the next run over the same
// JAR finishes the project, byte for byte as a clean run makes it.
#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <map>

#include "FaultSweep.h"
#include "TestCorpus.h"
#include "midlet/FileDigest.h"
#include "midlet/PrepareSupport.h"
#include "platform/Faults.h"

namespace preptest {
namespace {

const std::string kSuite = QUELLOR_CORPUS_DIR "/midlets/Apress_j2me-games-w-midp2/hello.jar";
const std::string kProject = "HelloWorl";

// What the sweep puts in place of the failed call's result: a full disk
// for writes, an I/O error for flushes. A failure must say which.
bool SaysWhatFailed(const std::string& message) {
    for (const char* reason : {"not enough space on the disk", "Disk full", "I/O device error"}) {
        if (message.find(reason) != std::string::npos) {
            return true;
        }
    }
    return false;
}

struct RunResult {
    bool reported = false;  // the run raised, or counted a failed JAR: exit status 1
    std::string message;
    std::vector<std::string> log;
};

// One run of the preparation over the listed JAR in `program`, as
// quellor-batch makes it, every question of the archive engine answered
// Abort.
RunResult RunOnce(const std::string& program, const std::string& listed) {
    midlet::RunOptions options;
    options.list = {listed};
    options.jadKind = midlet::JadKind::Full;
    options.writeIds = true;
    options.extractIcon = true;
    midlet::ProgramState state;
    midlet::RecordingOutput output;
    archive::TZipArchiver zip("Zip");
    archive::ApplyFormValues(zip);
    platform::ScriptedDialogs dialogs;
    const platform::DialogsGuard guard(dialogs);
    midlet::RunContext run{options, state, output, zip, program};
    RunResult result;
    try {
        result.reported = midlet::RunBatch(run).failed > 0;
    } catch (const std::exception& e) {
        result.reported = true;
        result.message = e.what();
    }
    result.log = output.log;
    return result;
}

// How the projects folder stands after a run that was failed or stopped.
enum class Outcome { Nothing, WithoutIds, Whole, Broken };

// What the sweep found wrong, counted over all calls.
struct Tally {
    int failuresAsSuccess = 0;    // a call failed, the project is not whole, no failure told
    int successAsFailure = 0;     // a failure told of a whole project (a flush after it is in)
    int unseen = 0;               // a call failed, nothing told, the project came out whole
    int brokenProjects = 0;       // the projects folder holds a part of the project
    int unclearMessages = 0;      // a failure that does not say the disk is full or failed
    int nextRunsNotFinished = 0;  // the next run fails, or makes another project
    int listedChanged = 0;
};

class PrepareFaultSweep : public ::testing::Test {
  protected:
    void SetUp() override {
        QUELLOR_SKIP_WITHOUT_CORPUS();
        clean_ = RunInFreshFolder([](const std::string&, const std::string&) {});
        for (const char* name : {"/", "/HelloWorl.jad", "/HelloWorl.jar", "/images/hello.png"}) {
            ASSERT_EQ(clean_.count(kProject + name), 1u) << name;
        }
        ASSERT_EQ(clean_.count(kProject + ".ids"), 1u);
        withoutIds_ = clean_;
        withoutIds_.erase(kProject + ".ids");
    }
    void TearDown() override { platform::DisarmAllFaults(); }

    // A fresh program folder with a writable copy of the suite listed; runs
    // `harm`, then the next run, and gives what the projects folder holds
    // after the next run.
    template <typename Harm>
    Tree RunInFreshFolder(Harm&& harm) {
        TestFolder folder;
        const std::string program = folder / "program/";
        const std::string listed = folder / "in/hello.jar";
        fs::create_directories(folder / "in");
        fs::create_directories(program);
        fs::copy_file(kSuite, listed);
        fs::permissions(listed, fs::perms::owner_write, fs::perm_options::add);
        harm(program, listed);
        next_ = RunOnce(program, listed);
        tempAfterNext_ = FolderNames(program + "temp");
        std::erase(tempAfterNext_, ".suites/");
        const std::string record = program + "temp/.suites/" + kProject;
        recordAfterNext_ = fs::exists(record) ? ReadBytes(record) : "";
        return ProjectsTree(program + "projects");
    }

    Outcome Classify(const Tree& tree) const {
        if (tree.empty()) {
            return Outcome::Nothing;
        }
        if (tree == withoutIds_) {
            return Outcome::WithoutIds;
        }
        return tree == clean_ ? Outcome::Whole : Outcome::Broken;
    }

    // The checks after a failed or stopped run, and after the next run.
    void CheckAfter(const std::string& program, const std::string& listed, Outcome outcome) {
        if (ReadBytes(listed) != ReadBytes(kSuite)) {
            ++tally_.listedChanged;
            ADD_FAILURE() << "the listed JAR changed";
        }
        if (outcome == Outcome::Broken) {
            ++tally_.brokenProjects;
            ADD_FAILURE() << "the projects folder holds a part of the project";
        }
        (void)program;
    }

    void CheckNextRun(const Tree& after) {
        const bool finished = !next_.reported && after == clean_ && next_.log.size() == 2 &&
                              (next_.log[0] == kProject + ".jad generated!" ||
                               next_.log[0] == kProject + ".jad is already generated!") &&
                              next_.log[1] == kProject + ".ids generated!";
        if (!finished) {
            ++tally_.nextRunsNotFinished;
            ADD_FAILURE() << "the next run did not finish the project: "
                          << (after == clean_ ? "" : "the project differs; ") << next_.message
                          << ::testing::PrintToString(next_.log);
        }
        // What the stopped or failed run staged is gone; a working JAR stays
        // only beside a project found already generated.
        std::vector<std::string> leftovers = {".workspace-lock"};
        if (!next_.log.empty() && next_.log[0] == kProject + ".jad is already generated!") {
            leftovers.push_back("hello.jar");
        }
        EXPECT_EQ(tempAfterNext_, leftovers);
        // The record of which suite made the project is missing (a run
        // stopped right after the project was in) or names this suite.
        if (!recordAfterNext_.empty()) {
            EXPECT_EQ(recordAfterNext_,
                      "MIDlet-Name: Hello World\r\nMIDlet-Vendor: frog-parrot.net\r\n"
                      "MIDlet-Version: 2.0\r\nSHA-256: " +
                          midlet::Sha256OfFile(kSuite) + "\r\n");
        }
    }

    Tree clean_;
    Tree withoutIds_;
    RunResult next_;
    std::vector<std::string> tempAfterNext_;
    std::string recordAfterNext_;
    Tally tally_;
};

TEST_F(PrepareFaultSweep, EveryCallFailedOrStopped) {
    int calls = 0;
    RunInFreshFolder([&](const std::string& program, const std::string& listed) {
        calls = CountModifyingCalls([&] { RunOnce(program, listed); });
    });
    ASSERT_GT(calls, 10);

    for (int nth = 1; nth <= calls; ++nth) {
        SCOPED_TRACE("call " + std::to_string(nth) + " of " + std::to_string(calls));
        // The call fails: the run tells it exactly when the project is not
        // whole, and says why.
        const Tree failedThenNext =
            RunInFreshFolder([&](const std::string& program, const std::string& listed) {
                const RunResult run = RunFailingAt(nth, [&] { return RunOnce(program, listed); });
                const Outcome outcome = Classify(ProjectsTree(program + "projects"));
                CheckAfter(program, listed, outcome);
                const bool whole = outcome == Outcome::Whole;
                if (!run.reported && !whole) {
                    ++tally_.failuresAsSuccess;
                    ADD_FAILURE() << "a failed call was reported as success";
                } else if (!run.reported) {
                    ++tally_.unseen;
                } else if (whole) {
                    ++tally_.successAsFailure;
                    EXPECT_TRUE(Contains(run.message, "I/O device error"))
                        << "only a flush after the project is in may fail a whole project";
                }
                if (run.reported && !SaysWhatFailed(run.message)) {
                    ++tally_.unclearMessages;
                    ADD_FAILURE() << "unclear message: " << run.message;
                }
            });
        CheckNextRun(failedThenNext);

        // The process ends right before the call: the next run finishes.
        const Tree stoppedThenNext =
            RunInFreshFolder([&](const std::string& program, const std::string& listed) {
                const int status = RunStoppedAt(nth, [&] {
                    RunOnce(program, listed);
                    return 0;
                });
                EXPECT_EQ(status, platform::kSweepStopStatus);
                CheckAfter(program, listed, Classify(ProjectsTree(program + "projects")));
            });
        CheckNextRun(stoppedThenNext);
    }
    std::cout << "[ sweep    ] " << calls << " modifying calls; failures reported as success "
              << tally_.failuresAsSuccess << ", whole projects reported as failed "
              << tally_.successAsFailure << ", failed calls without effect " << tally_.unseen
              << ", broken projects " << tally_.brokenProjects << ", unclear messages "
              << tally_.unclearMessages << ", next runs not finished " << tally_.nextRunsNotFinished
              << ", listed JAR changed " << tally_.listedChanged << "\n";
}

}  // namespace
}  // namespace preptest
