// Every real MIDlet suite of the corpus through quellor-batch, as
// tests/data/sweep/midlets.tsv expects: each run ends in time with the
// project's JAD and IDS lines or a clear error; a prepared JAR still passes
// `unzip -t`, holds the same entries in the same order, and its JAD gives
// its true size; nothing outside the program folder changes.
#include <gtest/gtest.h>

#include <regex>

#include "SweepSupport.h"
#include "TestCorpus.h"
#include "TestFolder.h"
#include "platform/Files.h"

namespace sweep {
namespace {

const std::string kTool = QUELLOR_BINARY_DIR "/tools/quellor-batch";
const fs::path kMidlets = kCorpus + "/midlets";

struct Expectation {
    std::string file;
    std::string command;  // batch, batch-ignore, batch-read-only
    int exit = 0;
    std::string expect;  // the project name, or the error line
    std::string reason;
};

std::vector<Expectation> Expectations() {
    std::vector<Expectation> rows;
    for (const Row& row : ReadRows(kData + "midlets.tsv", 5)) {
        rows.push_back({row[0], row[1], std::atoi(row[2].c_str()), row[3], row[4]});
    }
    return rows;
}

// What a shell command prints, and whether it ended with status 0.
std::pair<bool, std::string> Capture(const std::string& command, const fs::path& folder) {
    const ToolRun run = RunTool({"sh", "-c", command}, folder);
    return {run.status == 0, run.out};
}

class SweepMidlets : public ::testing::TestWithParam<Expectation> {};

TEST_P(SweepMidlets, PreparesOrEndsWithAClearError) {
    const Expectation& row = GetParam();
    const fs::path source = kMidlets / row.file;
    QUELLOR_SKIP_WITHOUT_CORPUS();
    TestFolder folder;
    const fs::path root = folder.Path();
    const fs::path program = root / "program";
    const std::string jar = folder / ("jars/" + source.filename().string());
    fs::create_directories(root / "jars");
    // The copy keeps the corpus file's attribute; a user's JAR is writable.
    ASSERT_TRUE(platform::CopyFile(source.string(), jar, true));
    ASSERT_TRUE(platform::SetFileAttributes(
        jar, row.command == "batch-read-only" ? platform::faReadOnly : 0));
    const Snapshot before = Take(root);

    std::vector<std::string> args = {kTool, "--program-folder", program.string()};
    if (row.command == "batch-ignore") {
        args.insert(args.end(), {"--on-failure", "ignore"});
    }
    args.push_back(jar);
    const ToolRun run = RunTool(args, root);

    ASSERT_TRUE(run.status == 0 || run.status == 1)
        << "status " << run.status << " (124: hang, above 128: signal)\n"
        << run.err;
    EXPECT_FALSE(SanitizerReport(run.err)) << run.err;
    EXPECT_EQ(run.status, row.exit) << run.err;
    // Only the program folder is written; the listed JAR stays as it was.
    EXPECT_EQ(Take(root, program), before);
    EXPECT_EQ(ReadBytes(jar), ReadBytes(source));

    if (row.exit != 0) {
        EXPECT_EQ(run.err, row.expect + "\n0 prepared, 0 skipped, 1 failed\n");
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(fs::is_empty(program / "projects"));
        return;
    }
    const std::string name = row.expect;
    EXPECT_EQ(run.out,
              jar + ": " + name + ".jad generated!\n" + jar + ": " + name + ".ids generated!\n");
    EXPECT_EQ(run.err, "1 prepared, 0 skipped, 0 failed\n");
    const fs::path project = program / "projects" / name;
    const fs::path prepared = project / (name + ".jar");
    ASSERT_TRUE(fs::exists(prepared));
    EXPECT_TRUE(fs::exists(program / "projects" / (name + ".ids")));
    // Only the workspace lock file and the record of the project's suite
    // stay in the temp folder.
    EXPECT_TRUE(fs::remove(program / "temp" / ".workspace-lock"));
    EXPECT_TRUE(fs::remove(program / "temp" / ".suites" / name));
    EXPECT_EQ(WrittenBelow(program / "temp").files, 0);

    // The prepared JAR tests clean and keeps every entry, in order.
    const auto tested = Capture("unzip -tq " + Quote(prepared.string()), root);
    EXPECT_TRUE(tested.first) << tested.second;
    const auto names = Capture("unzip -Z1 " + Quote(prepared.string()), root);
    const auto sourceNames = Capture("unzip -Z1 " + Quote(source.string()), root);
    EXPECT_TRUE(names.first && sourceNames.first);
    EXPECT_EQ(names.second, sourceNames.second);

    // The JAD gives the size of the JAR beside it.
    const std::string jad = ReadBytes(project / (name + ".jad"));
    std::smatch size;
    ASSERT_TRUE(std::regex_search(jad, size, std::regex("MIDlet-Jar-Size: ([0-9]+)\r\n")));
    EXPECT_EQ(std::stoull(size[1].str()), fs::file_size(prepared));
}

INSTANTIATE_TEST_SUITE_P(Corpus, SweepMidlets, ::testing::ValuesIn(Expectations()),
                         [](const auto& info) {
                             return TestName(info.param.file + "_" + info.param.command);
                         });

// A suite added to the corpus, or a row lost, shows here.
TEST(SweepMidletsData, HasBothAnswersForEveryCorpusSuite) {
    const std::set<std::string> corpus = CorpusFiles(kMidlets, ".jar");
    if (corpus.empty()) {
        GTEST_SKIP() << "no corpus at " << kMidlets;
    }
    std::map<std::string, std::set<std::string>> commands;
    for (const Expectation& row : Expectations()) {
        commands[row.file].insert(row.command);
    }
    for (const std::string& file : corpus) {
        EXPECT_TRUE(commands[file].count("batch") && commands[file].count("batch-ignore")) << file;
    }
    EXPECT_EQ(commands.size(), corpus.size());
}

}  // namespace
}  // namespace sweep
