// Runs that prepare several JARs at once against the same runs one JAR at a
// time, over the corpus MIDlets: suites whose projects meet, listed files
// that share a name, a JAR that fails part way through the list, with and
// without going on after it, and a second run over what the first left;
// and over suites whose names meet, with one failing after it was named.
// Every run must come to the same projects, byte for byte, the same temp
// folder, log, progress, tally, program-wide values and JAR records.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>
#include <thread>

#include "FaultSweep.h"
#include "TestCorpus.h"
#include "midlet/PrepareSupport.h"

namespace preptest {
namespace {

using Lines = std::vector<std::string>;

// The log with the listed path of each JAR's line.
class JarLogOutput : public midlet::RecordingOutput {
  public:
    void AppendJarLog(const std::string& listed, const std::string& line) override {
        AppendLog(listed + ": " + line);
    }
};

// Everything a run comes to, paths made relative to its program folder.
struct RunTrace {
    Lines log;
    std::vector<int> advances;
    Lines records;  // each JAR's record, as onJarDone saw it
    Lines failures;
    std::string ended;  // what ended the run, if anything
    midlet::BatchTally tally;
    midlet::ProgramState state;
    Tree projects;
    Lines temp;
    Lines inspected;  // the projects inspected, in listed order
};

std::string Relative(std::string text, const std::string& root) {
    for (std::size_t at; (at = text.find(root)) != std::string::npos;) {
        text.replace(at, root.size(), "<root>/");
    }
    return text;
}

class ParallelBatch : public ::testing::Test {
  protected:
    void SetUp() override {
        QUELLOR_SKIP_WITHOUT_CORPUS();
        for (const auto& entry : fs::recursive_directory_iterator(QUELLOR_CORPUS_DIR "/midlets")) {
            if (entry.path().extension() == ".jar") {
                corpus_.push_back(entry.path().string());
            }
        }
        std::sort(corpus_.begin(), corpus_.end());
        ASSERT_GT(corpus_.size(), 10u);
    }

    // The list in a fresh workspace for each number of jobs: the corpus
    // MIDlets, hello.jar listed a second time from another folder (the same
    // working JAR) and as a copy under another name (the same project), and
    // `broken` (not an archive) in the middle when asked.
    Lines MakeList(const std::string& root, bool broken) const {
        fs::create_directories(root + "in/again");
        Lines list;
        for (std::size_t i = 0; i < corpus_.size(); ++i) {
            const std::string copy =
                root + "in/" + std::to_string(i) + "/" + fs::path(corpus_[i]).filename().string();
            fs::create_directories(fs::path(copy).parent_path());
            fs::copy_file(corpus_[i], copy);
            fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
            list.push_back(copy);
            if (broken && i == corpus_.size() / 2) {
                WriteBytes(root + "in/broken.jar", "not an archive");
                list.push_back(root + "in/broken.jar");
            }
            if (fs::path(corpus_[i]).filename() == "hello.jar") {
                fs::copy_file(copy, root + "in/again/hello.jar");
                fs::copy_file(copy, root + "in/again/hello-copy.jar");
                list.push_back(root + "in/again/hello.jar");
                list.push_back(root + "in/again/hello-copy.jar");
            }
        }
        return list;
    }

    RunTrace Run(const std::string& root, const Lines& list, unsigned jobs, bool keepGoing,
                 bool onWorkers) {
        midlet::RunOptions options;
        options.list = list;
        JarLogOutput output;
        archive::TZipArchiver zip("Zip");
        archive::ApplyFormValues(zip);
        platform::ScriptedDialogs dialogs;
        const platform::DialogsGuard guard(dialogs);
        RunTrace trace;
        midlet::RunContext run{options, trace.state, output, zip, root + "program/"};
        run.jobs = jobs;
        run.onWorkers = onWorkers;
        const std::thread::id caller = std::this_thread::get_id();
        if (keepGoing) {
            run.onJarFailure = [&](const midlet::JarFailure& failure) {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                trace.failures.push_back(Relative(failure.Jar + " " + failure.what(), root));
            };
        }
        std::mutex inspecting;
        run.inspectProject = [&](midlet::JarRecord& record) {
            const std::lock_guard lock(inspecting);
            trace.inspected.push_back(std::to_string(record.index) + " " + record.projectName);
        };
        run.onJarDone = [&](const midlet::JarRecord& record) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            trace.records.push_back(std::to_string(record.index) + " " +
                                    Relative(record.listed, root) + " " + record.projectName + " " +
                                    std::to_string(static_cast<int>(record.outcome)) + " " +
                                    std::to_string(record.originalJadKeys));
        };
        try {
            trace.tally = midlet::RunBatch(run);
        } catch (const std::exception& e) {
            trace.ended = Relative(e.what(), root);
        }
        for (const std::string& line : output.log) {
            trace.log.push_back(Relative(line, root));
        }
        trace.advances = output.advances;
        trace.projects = ProjectsTree(root + "program/projects");
        trace.temp = FolderNames(root + "program/temp");
        std::sort(trace.inspected.begin(), trace.inspected.end());
        return trace;
    }

    // The same runs, one JAR at a time on the calling thread, one on a
    // worker, and several at once, over the list `makeList` makes in a
    // fresh folder, come to the same. Gives the runs one JAR at a time.
    std::vector<RunTrace> ExpectSameRuns(const std::function<Lines(const std::string&)>& makeList,
                                         bool keepGoing, int runs) {
        struct Jobs {
            unsigned count;
            bool onWorkers;
        };
        std::vector<std::vector<RunTrace>> traces;
        for (const Jobs jobs : {Jobs{1, false}, Jobs{1, true}, Jobs{2, false}, Jobs{5, false}}) {
            midlet::ScratchFolder folder;
            const Lines list = makeList(folder.Path());
            traces.emplace_back();
            for (int i = 0; i < runs; ++i) {
                traces.back().push_back(
                    Run(folder.Path(), list, jobs.count, keepGoing, jobs.onWorkers));
            }
        }
        for (std::size_t jobs = 1; jobs < traces.size(); ++jobs) {
            for (int i = 0; i < runs; ++i) {
                SCOPED_TRACE("jobs case " + std::to_string(jobs) + ", run " + std::to_string(i));
                const RunTrace& one = traces[0][i];
                const RunTrace& many = traces[jobs][i];
                EXPECT_EQ(many.log, one.log);
                EXPECT_EQ(many.advances, one.advances);
                EXPECT_EQ(many.records, one.records);
                EXPECT_EQ(many.failures, one.failures);
                EXPECT_EQ(many.ended, one.ended);
                EXPECT_EQ(many.inspected, one.inspected);
                EXPECT_EQ(many.tally.prepared, one.tally.prepared);
                EXPECT_EQ(many.tally.skipped, one.tally.skipped);
                EXPECT_EQ(many.tally.failed, one.tally.failed);
                EXPECT_EQ(many.state.cleanedName, one.state.cleanedName);
                EXPECT_EQ(many.state.projectName, one.state.projectName);
                EXPECT_EQ(many.state.jadCount, one.state.jadCount);
                EXPECT_EQ(many.state.idsCount, one.state.idsCount);
                EXPECT_EQ(many.state.originalJadKeys, one.state.originalJadKeys);
                EXPECT_TRUE(many.projects == one.projects);
                EXPECT_EQ(many.temp, one.temp);
            }
        }
        return traces[0];
    }

    void ExpectSameCorpusRuns(bool broken, bool keepGoing, int runs) {
        const std::vector<RunTrace> one = ExpectSameRuns(
            [&](const std::string& root) { return MakeList(root, broken); }, keepGoing, runs);
        EXPECT_GT(one[0].projects.size(), 20u);
        EXPECT_EQ(one[0].ended.empty(), keepGoing || !broken) << one[0].ended;
    }

    Lines corpus_;
};

// Two runs: the second finds every project already generated, and skips
// the JARs whose working JAR the first kept.
TEST_F(ParallelBatch, MakesWhatOneJarAtATimeMakes) {
    ExpectSameCorpusRuns(false, true, 2);
}

TEST_F(ParallelBatch, GoesOnAfterAFailureAsOneJarAtATimeDoes) {
    ExpectSameCorpusRuns(true, true, 1);
}

// The run ends at the broken JAR: the JARs before it are made and told,
// nothing of those after it stays.
TEST_F(ParallelBatch, EndsAtTheFirstFailureAsOneJarAtATimeDoes) {
    ExpectSameCorpusRuns(true, false, 1);
}

// A JAR whose icon is 2 MB of bytes that no longer match their checksum:
// it is named, staged, and fails at its icon, a few milliseconds after its
// name was claimed.
void MakeJarFailingAtItsIcon(const std::string& jar, const std::string& name) {
    std::mt19937 random(7);
    std::string icon(2 << 20, '\0');
    for (char& byte : icon) {
        byte = static_cast<char>(random());
    }
    MakeZipJar(jar, SimpleManifest(name), {{"icon.png", icon}});
    std::string bytes = ReadBytes(jar);
    bytes[bytes.size() / 2] ^= 0x55;  // inside the icon's stored bytes
    WriteBytes(jar, bytes);
}

// Groups of three suites whose names meet in their first 9 bytes, the
// second failing after it was named: in a run one JAR at a time the first
// takes the name, the second claims the first numbered name and frees it,
// and the third takes it. Several at once must come to that too, though the
// third is ready to be named while the second is still under way.
TEST_F(ParallelBatch, ANameFreedByAFailureGoesToTheNextSuiteAsOneJarAtATime) {
    constexpr int kGroups = 4;
    const auto makeList = [&](const std::string& root) {
        Lines list;
        fs::create_directories(root + "in");
        for (int group = 0; group < kGroups; ++group) {
            const std::string stem = "Group" + std::to_string(group) + "xxx";
            for (const char* member : {"One", "Two", "Three"}) {
                const std::string jar = root + "in/" + stem + member + ".jar";
                if (std::string(member) == "Two") {
                    MakeJarFailingAtItsIcon(jar, stem + member);
                } else {
                    MakeZipJar(jar, SimpleManifest(stem + member), {{"icon.png", TinyPng()}});
                }
                list.push_back(jar);
            }
        }
        return list;
    };
    const std::vector<RunTrace> one = ExpectSameRuns(makeList, true, 1);
    ASSERT_EQ(one[0].records.size(), 3u * kGroups);
    ASSERT_EQ(one[0].failures.size(), 1u * kGroups);
    EXPECT_TRUE(Contains(one[0].failures[0], "icon"));
    for (int group = 0; group < kGroups; ++group) {
        const std::string stem = "Group" + std::to_string(group);
        EXPECT_TRUE(Contains(one[0].records[3 * group], " " + stem + "xxx "));
        EXPECT_TRUE(Contains(one[0].records[3 * group + 2], " " + stem + "xx2 "));
    }
}

// What the projects folder holds of one project: its folder and IDS file.
Tree ProjectPart(const Tree& tree, const std::string& project) {
    Tree part;
    for (const auto& [name, bytes] : tree) {
        if (name.rfind(project + "/", 0) == 0 || name == project + ".ids") {
            part[name] = bytes;
        }
    }
    return part;
}

// Two suites prepared at once with every call that changes the disk failed
// in turn, and stopped right before it as a kill would: each project is in
// the projects folder whole or not at all, a JAR told prepared has its
// project and IDS file, and the next run finishes both as a clean run does.
TEST_F(ParallelBatch, EveryCallFailedOrStoppedLeavesProjectsWholeOrAbsent) {
    Lines two;
    for (const std::string& jar : corpus_) {
        if (jar.ends_with("/hello.jar") || jar.ends_with("/book.jar")) {
            two.push_back(jar);
        }
    }
    ASSERT_EQ(two.size(), 2u);
    const auto fresh = [&](const std::string& root) {
        Lines list;
        for (std::size_t i = 0; i < two.size(); ++i) {
            list.push_back(root + "in/" + fs::path(two[i]).filename().string());
            fs::create_directories(root + "in");
            fs::copy_file(two[i], list.back());
        }
        return list;
    };
    Tree clean;
    int calls = 0;
    {
        midlet::ScratchFolder folder;
        const Lines list = fresh(folder.Path());
        calls =
            CountModifyingCalls([&] { clean = Run(folder.Path(), list, 2, true, false).projects; });
    }
    const std::vector<std::string> projects = {"HelloWorl", "J2MEGames"};
    for (const std::string& project : projects) {
        ASSERT_FALSE(ProjectPart(clean, project).empty()) << project;
    }
    for (int nth = 1; nth <= calls; ++nth) {
        for (const bool stop : {false, true}) {
            SCOPED_TRACE("call " + std::to_string(nth) + (stop ? " stopped" : " failed"));
            midlet::ScratchFolder folder;
            const std::string root = folder.Path();
            const Lines list = fresh(root);
            Lines prepared;
            if (stop) {
                const int status = RunStoppedAt(nth, [&] {
                    Run(root, list, 2, true, false);
                    return 0;
                });
                // Projects committed together make fewer calls.
                EXPECT_TRUE(status == platform::kSweepStopStatus || status == 0) << status;
            } else {
                for (const std::string& record :
                     RunFailingAt(nth, [&] { return Run(root, list, 2, true, false); }).records) {
                    if (record.ends_with(" 0 0") || record.ends_with(" 0 1")) {
                        prepared.push_back(record);
                    }
                }
            }
            const Tree after = ProjectsTree(root + "program/projects");
            for (const std::string& project : projects) {
                const Tree part = ProjectPart(after, project);
                Tree folderOnly = ProjectPart(clean, project);
                folderOnly.erase(project + ".ids");
                EXPECT_TRUE(part.empty() || part == folderOnly ||
                            part == ProjectPart(clean, project))
                    << project << " is in part";
            }
            for (const std::string& record : prepared) {
                std::istringstream fields(record);
                std::string index, listed, project;
                fields >> index >> listed >> project;
                EXPECT_EQ(ProjectPart(after, project), ProjectPart(clean, project)) << record;
            }
            const RunTrace next = Run(root, list, 2, true, false);
            EXPECT_TRUE(next.failures.empty()) << next.failures.front();
            EXPECT_TRUE(next.projects == clean);
        }
    }
}

}  // namespace
}  // namespace preptest
