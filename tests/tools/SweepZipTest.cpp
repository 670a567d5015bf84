// Every archive of the ZIP corpus through quellor-zip list and extract, as
// tests/data/sweep/zip.tsv expects. Whatever the file holds, the tool ends
// in time, without a crash, with a result or a clear message; it writes
// nothing outside the destination, no more than one call may write, and
// leaves the archive as it was. The archive is a read-only copy, as the
// corpus is in CI.
#include <gtest/gtest.h>

#include <regex>

#include "SweepSupport.h"
#include "TestCorpus.h"
#include "TestFolder.h"
#include "archive/ZipArchiver.h"
#include "platform/Files.h"

namespace sweep {
namespace {

const std::string kTool = QUELLOR_BINARY_DIR "/tools/quellor-zip";
const fs::path kZipCorpus = kCorpus + "/zip";
const std::vector<std::string> kCommands = {"list", "extract", "extract-ignore"};

struct Expectation {
    std::string file;
    std::string command;
    int exit = 0;
    std::string count;  // entries=N or files=N
    std::string codes;  // as Codes() gives them
    std::string reason;
};

std::vector<Expectation> Expectations() {
    std::vector<Expectation> rows;
    for (const Row& row : ReadRows(kData + "zip.tsv", 6)) {
        rows.push_back({row[0], row[1], std::atoi(row[2].c_str()), row[3], row[4], row[5]});
    }
    return rows;
}

// The records `list` printed: name, method, sizes, CRC-32, attributes,
// offset; counted from their fixed tail, since a name may hold a tab or a
// line break.
int ListedEntries(const std::string& out) {
    static const std::regex record("\t[0-9]+\t[0-9]+\t[0-9]+\t[0-9a-f]{8}\t[0-9a-f]{8}\t[0-9]+\n");
    return static_cast<int>(
        std::distance(std::sregex_iterator(out.begin(), out.end(), record), {}));
}

class SweepZip : public ::testing::TestWithParam<Expectation> {};

TEST_P(SweepZip, EndsWithAResultOrAClearMessage) {
    const Expectation& row = GetParam();
    const fs::path source = kZipCorpus / row.file;
    QUELLOR_SKIP_WITHOUT_CORPUS();
    TestFolder folder;
    const fs::path root = folder.Path();
    const std::string archive = folder / ("in/" + source.filename().string());
    fs::create_directories(root / "in");
    ASSERT_TRUE(platform::CopyFile(source.string(), archive, true));
    ASSERT_TRUE(platform::SetFileAttributes(archive, platform::faReadOnly));
    // Deep enough that a name climbing out with "../../.." still lands in
    // the snapshot.
    const fs::path dest = root / "a/b/c/dest";
    fs::create_directories(dest.parent_path());
    const Snapshot before = Take(root);

    std::vector<std::string> args = {kTool};
    if (row.command == "extract-ignore") {
        args.insert(args.end(), {"--on-failure", "ignore"});
    }
    if (row.command == "list") {
        args.insert(args.end(), {"list", archive});
    } else {
        args.insert(args.end(), {"extract", archive, "*", dest.string()});
    }
    const ToolRun run = RunTool(args, dest.parent_path());

    // In time, no crash, no sanitizer report.
    ASSERT_TRUE(run.status == 0 || run.status == 1)
        << "status " << run.status << " (124: hang, above 128: signal)\n"
        << run.err;
    EXPECT_FALSE(SanitizerReport(run.err)) << run.err;
    EXPECT_EQ(run.status, row.exit) << run.err;

    // Every message is a failure of one entry or the one error that ended
    // the command, last, and only with exit status 1.
    const std::vector<std::string> messages = Messages(run.err);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const bool error = messages[i].rfind("error: ", 0) == 0;
        const bool failure = messages[i].rfind("failure: ", 0) == 0;
        EXPECT_TRUE(failure || (error && i + 1 == messages.size() && run.status == 1))
            << messages[i];
    }
    EXPECT_EQ(run.status == 1, !messages.empty() && messages.back().rfind("error: ", 0) == 0);
    EXPECT_EQ(Codes(messages), row.codes) << run.err;

    // What it listed or wrote, within the bound of one extraction call.
    const Written written = WrittenBelow(dest);
    EXPECT_LE(written.bytes, archive::TZipBaseArchiver::MaxExtractBytesPerCall);
    if (row.command == "list") {
        EXPECT_EQ("entries=" + std::to_string(ListedEntries(run.out)), row.count);
        EXPECT_FALSE(fs::exists(dest));
    } else {
        EXPECT_EQ(run.out, "");
        EXPECT_EQ("files=" + std::to_string(written.files), row.count);
    }

    // Nothing beside the destination changed, the archive least of all.
    EXPECT_EQ(Take(root, dest), before);
    EXPECT_EQ(ReadBytes(archive), ReadBytes(source));
}

INSTANTIATE_TEST_SUITE_P(Corpus, SweepZip, ::testing::ValuesIn(Expectations()),
                         [](const auto& info) {
                             return TestName(info.param.file + "_" + info.param.command);
                         });

// A file added to the corpus, or a row lost, shows here.
TEST(SweepZipData, HasEveryCommandForEveryCorpusFile) {
    const std::set<std::string> corpus = CorpusFiles(kZipCorpus, "");
    if (corpus.empty()) {
        GTEST_SKIP() << "no corpus at " << kZipCorpus;
    }
    std::map<std::string, std::vector<std::string>> commands;
    for (const Expectation& row : Expectations()) {
        commands[row.file].push_back(row.command);
        EXPECT_NE(row.count, "") << row.file;
        EXPECT_NE(row.codes, "") << row.file;
    }
    std::set<std::string> listed;
    for (const auto& [file, given] : commands) {
        listed.insert(file);
        EXPECT_EQ(given, kCommands) << file;
    }
    EXPECT_EQ(listed, corpus);
}

}  // namespace
}  // namespace sweep
