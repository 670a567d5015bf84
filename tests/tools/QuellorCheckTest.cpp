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
    {"quellor-check", {"--devices"}, 0, "midp20-cldc11 (default): "},
    {"quellor-check", {"--devices", "a.jar"}, 2, nullptr},
    {"quellor-check", {"--device"}, 2, nullptr},
    {"quellor-check", {"--date", "2020-13-01", "a.jar"}, 2, nullptr},
    {"quellor-check", {"--devices-file"}, 2, nullptr},
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

// Every corpus suite through the tool: it ends by itself with 0 or 1, each
// suite in the line format (a verdict line, then its findings), a summary
// line last; its JSON form parses with as many suites and findings.
TEST(QuellorCheck, ReportsEveryCorpusMidletInItsFormat) {
    if (!fs::is_directory(kMidlets)) {
        GTEST_SKIP() << "no corpus at " << kMidlets;
    }
    const std::string body = R"(((\d{3}|-) ([A-Za-z0-9][A-Za-z0-9_-]*|-): [^;]+; .+))";
    const std::regex verdict(R"(^.+: verdict (ok|)" + body + R"() \(device midp20-cldc11\)$)");
    const std::regex finding(R"(^.+: (error|warning) )" + body + "$");
    const std::regex summary(R"(^(\d+) suites?: \d+ ok, \d+ with warnings, \d+ with errors$)");
    std::vector<std::string> jars;
    std::size_t findings = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kMidlets)) {
        if (entry.path().extension() == ".jar") {
            jars.push_back(entry.path().string());
        }
    }
    ASSERT_FALSE(jars.empty());
    const ToolRun run = RunTool("quellor-check", jars);
    EXPECT_TRUE(run.status == 0 || run.status == 1) << run.err;
    std::istringstream out(run.out);
    std::vector<std::string> lines;
    for (std::string text; std::getline(out, text);) {
        lines.push_back(text);
    }
    ASSERT_FALSE(lines.empty());
    std::smatch counted;
    ASSERT_TRUE(std::regex_match(lines.back(), counted, summary)) << lines.back();
    EXPECT_EQ(counted[1], std::to_string(jars.size()));
    std::size_t verdicts = 0;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const bool isVerdict = std::regex_match(lines[i], verdict);
        verdicts += isVerdict ? 1 : 0;
        findings += isVerdict ? 0 : 1;
        EXPECT_TRUE(isVerdict || std::regex_match(lines[i], finding)) << lines[i];
    }
    EXPECT_EQ(verdicts, jars.size());

    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), jars.begin(), jars.end());
    TestFolder scratch;
    WriteBytes(scratch / "report.json", RunTool("quellor-check", args).out);
    const std::string count =
        Shell("python3 -c " +
              Quote("import json, sys\n"
                    "r = json.load(open(sys.argv[1]))\n"
                    "keys = {'file', 'severity', 'code', 'attribute', 'message', 'fix'}\n"
                    "f = [o for s in r['suites'] for o in s['findings']]\n"
                    "assert all(set(o) == keys for o in f)\n"
                    "assert all(o['code'] is None or isinstance(o['code'], int) for o in f)\n"
                    "assert all(isinstance(s['verdict']['ok'], bool) for s in r['suites'])\n"
                    "assert r['summary']['suites'] == len(r['suites'])\n"
                    "assert all(s['facts']['kind'] == 'midlet-suite' for s in r['suites'])\n"
                    "assert all(s['facts']['apis'][:2] == ['CLDC', 'MIDP'] for s in r['suites'])\n"
                    "print(len(r['suites']), len(f), r['device'])") +
              " " + Quote(scratch / "report.json"))
            .out;
    EXPECT_EQ(count,
              std::to_string(jars.size()) + " " + std::to_string(findings) + " midp20-cldc11\n");
}

// A name with a quote, a control character and a byte that is not UTF-8
// still gives one line, quoted, and valid JSON.
TEST(QuellorCheck, AFileThatCannotBeReadIsAVerdictWithoutACode) {
    TestFolder scratch;
    const ToolRun run = RunTool("quellor-check", {scratch / "missing.jar"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, scratch / "missing.jar" +
                           ": verdict - -: no such file; check the JAR's path (device "
                           "midp20-cldc11)\n1 suite: 0 ok, 0 with warnings, 1 with errors\n");

    const std::string odd = scratch / "a\"b\x01\xff.jar";
    const std::string quoted = "\"" + scratch / "a\\\"b?\xff.jar\": verdict - -: no such file";
    EXPECT_EQ(RunTool("quellor-check", {odd}).out.rfind(quoted, 0), 0u);
    WriteBytes(scratch / "report.json", RunTool("quellor-check", {"--json", odd}).out);
    const CommandResult parsed =
        Shell("python3 -c " +
              Quote("import json, sys\n"
                    "s = json.load(open(sys.argv[1], encoding='utf-8'))['suites'][0]\n"
                    "v = s['verdict']\n"
                    "print(s['jar'][-9:], v['ok'], v['code'], v['attribute'], v['device'])") +
              " " + Quote(scratch / "report.json"));
    EXPECT_EQ(parsed.out, "a\"b\x01\ufffd.jar False None None midp20-cldc11\n");
}

// What the tool says of files that are no suite, of suites the chosen
// device refuses, and of a device the user describes: each case's lines
// start as given, in this order, and the exit status follows the verdicts.
struct Saying {
    const char* name;
    std::vector<std::string> args;  // "{s}" stands for the scratch folder
    int status;
    std::vector<std::string> lines;  // the start of each line printed, "{s}" as above
};

const Saying kSayings[] = {
    {"Folder", {"{s}folder.jar"}, 1, {"{s}folder.jar: verdict - -: is a folder, not a JAR file"}},
    {"EmptyFile",
     {"{s}empty.jar"},
     1,
     {"{s}empty.jar: verdict 907 -: is an empty file, not a JAR"}},
    {"NotAZip", {"{s}text.jar"}, 1, {"{s}text.jar: verdict 907 -: is not a ZIP archive"}},
    {"NameWithBlanks",
     {"{s}Google Map.jar"},
     1,
     {"\"{s}Google Map.jar\": verdict 907 -: is an empty file"}},
    {"Latin1Jad",
     {"{s}cafe.jar"},
     1,
     {"{s}cafe.jar: verdict 905 MIDlet-Name: the JAD gives \"Caf\xEF\xBF\xBD\", the manifest "
      "\"Caf\xC3\xA9\"; give MIDlet-Name the same value in both files (the JAD is not UTF-8: "
      "save it as UTF-8)",
      "{s}cafe.jad: warning - -: the JAD is not UTF-8"}},
    {"Midp21OnTheDefaultPhone",
     {"{s}new.jar"},
     1,
     {"{s}new.jar: verdict 908 MicroEdition-Profile: the suite asks for MIDP-2.1; midp20-cldc11 "
      "offers MIDP-2.0; set MicroEdition-Profile to MIDP-2.0 if"}},
    {"Midp21OnAMidp21Phone",
     {"--device", "midp21-cldc11", "{s}new.jar"},
     0,
     {"{s}new.jar: verdict ok (device midp21-cldc11)",
      "1 suite: 0 ok, 1 with warnings, 0 with errors"}},
    {"TheUsersOwnDevice",
     {"--devices-file", "{s}mine.ini", "--device", "mine", "{s}new.jar", "{s}cafe.jar"},
     1,
     {"{s}new.jar: verdict ok (device mine)", "{s}cafe.jar: verdict 905",
      "2 suites: 0 ok, 1 with warnings, 1 with errors"}},
};

class QuellorCheckSays : public ::testing::TestWithParam<Saying> {
  protected:
    // A suite of one MIDlet built by zip: the manifest and JAD as given.
    void Suite(const std::string& name, const std::string& manifest, const std::string& jad) {
        const std::string stage = scratch_ / (name + ".stage/");
        WriteBytes(stage + "META-INF/MANIFEST.MF", manifest);
        WriteBytes(stage + "t/Main.class", "\xCA\xFE\xBA\xBE class bytes");
        const std::string jar = scratch_ / (name + ".jar");
        ASSERT_EQ(
            Shell("cd " + Quote(stage) + " && zip -q -X -r " + Quote(jar) + " META-INF t").status,
            0);
        const std::string size = std::to_string(fs::file_size(jar));
        WriteBytes(scratch_ / (name + ".jad"),
                   jad + "MIDlet-Jar-URL: " + name + ".jar\nMIDlet-Jar-Size: " + size + "\n");
    }

    static std::string Manifest(const std::string& nameLine, const std::string& profile) {
        return "Manifest-Version: 1.0\nMIDlet-Name: " + nameLine +
               "\nMIDlet-Vendor: V\nMIDlet-Version: 1.0\nMicroEdition-Configuration: CLDC-1.0\n"
               "MicroEdition-Profile: " +
               profile + "\nMIDlet-1: M, , t.Main\n\n";
    }

    void SetUp() override {
        fs::create_directory(scratch_ / "folder.jar");
        WriteBytes(scratch_ / "empty.jar", "");
        WriteBytes(scratch_ / "Google Map.jar", "");
        WriteBytes(scratch_ / "text.jar", "just some text, no archive\n");
        Suite("cafe", Manifest("Caf\xC3\xA9", "MIDP-2.0"),
              "MIDlet-Name: Caf\xE9\nMIDlet-Vendor: V\nMIDlet-Version: 1.0\n");
        Suite("new", Manifest("New", "MIDP-2.1"),
              "MIDlet-Name: New\nMIDlet-Vendor: V\nMIDlet-Version: 1.0\n");
        WriteBytes(scratch_ / "mine.ini",
                   "[mine]\ntitle = My phone\nconfiguration = CLDC-1.1\nprofiles = MIDP-2.1\n");
    }

    std::string Filled(const std::string& text) const {
        std::string out = text;
        for (std::size_t at; (at = out.find("{s}")) != std::string::npos;) {
            out.replace(at, 3, scratch_ / "");
        }
        return out;
    }

    TestFolder scratch_;
};

TEST_P(QuellorCheckSays, WhatThePhoneWillSay) {
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().args) {
        args.push_back(Filled(arg));
    }
    const ToolRun run = RunTool("quellor-check", args);
    EXPECT_EQ(run.status, GetParam().status) << run.out << run.err;
    std::istringstream out(run.out);
    std::vector<std::string> printed;
    for (std::string line; std::getline(out, line);) {
        printed.push_back(line);
        EXPECT_EQ(line.find("Native error"), std::string::npos) << line;
    }
    auto next = printed.begin();
    for (const std::string& want : GetParam().lines) {
        next = std::find_if(next, printed.end(), [&](const std::string& line) {
            return line.rfind(Filled(want), 0) == 0;
        });
        ASSERT_NE(next, printed.end()) << "missing in order: " << Filled(want) << "\n" << run.out;
        ++next;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, QuellorCheckSays, ::testing::ValuesIn(kSayings),
                         [](const auto& info) { return std::string(info.param.name); });

// A device profile file that cannot be used ends the run before any suite,
// naming the problem.
TEST(QuellorCheck, RefusesADeviceItCannotUse) {
    TestFolder scratch;
    WriteBytes(scratch / "bad.ini", "[bad]\nconfiguration = CLDC-1.1\nspeed = fast\n");
    const ToolRun unknown = RunTool("quellor-check", {"--device", "nokia-9999", "a.jar"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err,
              "quellor-check: no device profile \"nokia-9999\" (--devices lists them)\n");
    const ToolRun bad = RunTool("quellor-check", {"--devices-file", scratch / "bad.ini", "a.jar"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "quellor-check: " + scratch / "bad.ini" +
                           ": line 3: \"speed\" is no fact of a device profile\n");
    EXPECT_TRUE(bad.out.empty());
}

// --info follows a suite's findings with its facts.
TEST(QuellorCheck, InfoPrintsTheFactsOfEachSuite) {
    const std::string jar = kMidlets + "/vipaoL_j2me_compiler_WTK252/MobileMediaAPI.jar";
    if (!fs::exists(jar)) {
        GTEST_SKIP() << "no corpus at " << kMidlets;
    }
    const ToolRun run = RunTool("quellor-check", {"--info", jar});
    const std::string facts = run.out.substr(run.out.find("facts of " + jar + "\n"));
    for (const char* line :
         {"  kind: MIDlet suite\n", "  classes: 29, version 47.0 (Java 1.3), preverified\n",
          "  APIs: CLDC, MIDP, Mobile Media API (JSR 135)\n", "  keys read: PauseAudioURL\n",
          "  MIDlet-1: example.mmademo.SimpleTones, a MIDlet\n", "  icons: icons/App.png 12x12\n",
          "  screen: 176x208 (the image images/dinosaur.png fits it)\n"}) {
        EXPECT_NE(facts.find(line), std::string::npos) << line << facts;
    }
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
