// quellor-check as a user runs it, and the command-line convention every
// headless tool keeps: --help names each option of the usage with its
// default, --version, a wrong command line is told in one line on standard
// error, with exit status 2.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "TestCommands.h"
#include "TestFiles.h"
#include "TestFolder.h"
#include "midlet/Settings.h"

namespace {

namespace fs = std::filesystem;

const std::string kTools = QUELLOR_BINARY_DIR "/tools/";
const std::string kMidlets = QUELLOR_CORPUS_DIR "/midlets";

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun RunTool(const std::string& tool, const std::vector<std::string>& args) {
    TestFolder scratch;
    std::string command = Quote(kTools + tool);
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    const std::string err = scratch / "stderr.txt";
    const CommandResult result = Shell(command + " 2>" + Quote(err) + " </dev/null");
    return {result.status, result.out, ReadBytes(err)};
}

struct Convention {
    const char* tool;
    std::vector<std::string> args;
    int status;
    const char* out;  // the start of standard output, or null for none at all
};

const Convention kConvention[] = {
    {"quellor-zip", {"--help"}, 0, "Usage: quellor-zip"},
    {"quellor-zip", {"--version"}, 0, "quellor-zip "},
    {"quellor-zip", {"--bogus"}, 2, nullptr},
    {"quellor-zip", {"--help", "list"}, 0, "Usage: quellor-zip"},
    {"quellor-check", {"--help"}, 0, "Usage: quellor-check"},
    {"quellor-check", {"--version"}, 0, "quellor-check "},
    {"quellor-check", {"--bogus", "a.jar"}, 2, nullptr},
    {"quellor-check", {}, 2, nullptr},
    {"quellor-check", {"--json"}, 2, nullptr},
    {"quellor-check", {"--jad"}, 2, nullptr},
    {"quellor-check", {"--jad", "a.jad", "a.jar", "b.jar"}, 2, nullptr},
    {"quellor-batch", {"--help"}, 0, "Usage: quellor-batch"},
    {"quellor-batch", {"--version"}, 0, "quellor-batch "},
    {"quellor-batch", {"--bogus", "a.jar"}, 2, nullptr},
    {"quellor-batch", {}, 2, nullptr},
    {"quellor-batch", {"--check"}, 2, nullptr},
    {"quellor-batch", {"--help", "a.jar"}, 0, "Usage: quellor-batch"},
};

class ToolConvention : public ::testing::TestWithParam<Convention> {};

TEST_P(ToolConvention, AnswersAsEveryToolDoes) {
    const Convention& c = GetParam();
    const ToolRun run = RunTool(c.tool, c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.out != nullptr) {
        EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << run.out;
        EXPECT_TRUE(run.err.empty()) << run.err;
    } else {
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_EQ(run.err.rfind(std::string(c.tool) + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(std::string("; try '") + c.tool + " --help'\n"), std::string::npos)
            << run.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ToolConvention, ::testing::ValuesIn(kConvention),
                         [](const auto& info) { return std::to_string(info.index); });

// Every option the help explains is one the program takes (it is never
// "unknown"), and the help says which default applies where an option is
// not given; quellor-batch's also names the settings file that supplies
// them.
TEST(ToolHelp, ExplainsOptionsTheProgramTakes) {
    for (const char* tool : {"quellor-zip", "quellor-check", "quellor-batch"}) {
        SCOPED_TRACE(tool);
        const std::string help = RunTool(tool, {"--help"}).out;
        const std::regex option("\\n  (-[A-Za-z], )?(--[a-z-]+)");
        int options = 0;
        for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
             it != std::sregex_iterator(); ++it, ++options) {
            const std::string name = (*it)[2].str();
            const ToolRun run = RunTool(tool, {name});
            EXPECT_EQ(run.err.find("unknown option"), std::string::npos) << name << run.err;
        }
        EXPECT_GT(options, 0);
        EXPECT_NE(help.find("default"), std::string::npos);
    }
    EXPECT_NE(RunTool("quellor-batch", {"--help"}).out.find(midlet::kSettingsFileName),
              std::string::npos);
}

// Every corpus suite through the tool: it ends by itself with 0 or 1, in
// the line format, and its JSON form parses with as many objects.
TEST(QuellorCheck, ReportsEveryCorpusMidletInItsFormat) {
    if (!fs::is_directory(kMidlets)) {
        GTEST_SKIP() << "no corpus at " << kMidlets;
    }
    const std::regex line(R"(^.+: (error|warning) (\d{3}|-) ([A-Za-z0-9][A-Za-z0-9_-]*|-): .+$)");
    std::vector<std::string> jars;
    std::size_t lines = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kMidlets)) {
        if (entry.path().extension() != ".jar") {
            continue;
        }
        jars.push_back(entry.path().string());
        const ToolRun run = RunTool("quellor-check", {entry.path().string()});
        EXPECT_TRUE(run.status == 0 || run.status == 1) << entry.path() << " " << run.err;
        std::istringstream out(run.out);
        for (std::string text; std::getline(out, text); ++lines) {
            EXPECT_TRUE(std::regex_match(text, line)) << text;
        }
    }
    ASSERT_FALSE(jars.empty());
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), jars.begin(), jars.end());
    TestFolder scratch;
    WriteBytes(scratch / "report.json", RunTool("quellor-check", args).out);
    const std::string count =
        Shell("python3 -c " +
              Quote("import json, sys\n"
                    "a = json.load(open(sys.argv[1]))\n"
                    "keys = {'file', 'severity', 'code', 'attribute', 'message'}\n"
                    "assert all(set(o) == keys for o in a)\n"
                    "assert all(o['code'] is None or isinstance(o['code'], int) for o in a)\n"
                    "print(len(a))") +
              " " + Quote(scratch / "report.json"))
            .out;
    EXPECT_EQ(count, std::to_string(lines) + "\n");
}

// A name with a quote, a control character and a byte that is not UTF-8
// still gives one line and valid JSON.
TEST(QuellorCheck, AFileThatCannotBeReadIsAnErrorFinding) {
    TestFolder scratch;
    const ToolRun run = RunTool("quellor-check", {scratch / "missing.jar"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, scratch / "missing.jar" + ": error - -: cannot be read: no such file\n");

    const std::string odd = scratch / "a\"b\x01\xff.jar";
    EXPECT_EQ(RunTool("quellor-check", {odd}).out,
              scratch / "a\"b?\xff.jar: error - -: cannot be read: no such file\n");
    WriteBytes(scratch / "report.json", RunTool("quellor-check", {"--json", odd}).out);
    const CommandResult parsed =
        Shell("python3 -c " +
              Quote("import json, sys\n"
                    "o = json.load(open(sys.argv[1], encoding='utf-8'))[0]\n"
                    "print(o['file'][-9:], o['code'], o['attribute'], o['severity'])") +
              " " + Quote(scratch / "report.json"));
    EXPECT_EQ(parsed.out, "a\"b\x01\ufffd.jar None None error\n");
}

}  // namespace

namespace {

// The window without a display says so in one line instead of Qt's plugin
// message, and ends with 1; the offscreen platform needs no display.
TEST(WindowWithoutDisplay, SaysSoInOneLine) {
    const std::string window = QUELLOR_BINARY_DIR "/src/app/quellor";
    if (!fs::exists(window)) {
        GTEST_SKIP() << "built without the window";
    }
    TestFolder scratch;
    const std::string err = scratch / "stderr.txt";
    const CommandResult run = Shell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                    Quote(window) + " 2>" + Quote(err) + " </dev/null");
    EXPECT_EQ(run.status, 1);
    const std::string text = ReadBytes(err);
    EXPECT_EQ(text.rfind("quellor: no display", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

}  // namespace
