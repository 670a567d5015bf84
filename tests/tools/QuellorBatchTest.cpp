// quellor-batch, run as a user runs it: real JARs, a program folder of its
// own, the settings file there, the log on standard output, the failure
// text and the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <tuple>

#include "BatchToolSupport.h"
#include "platform/TextFile.h"

namespace preptest {
namespace {

TEST_F(QuellorBatch, PreparesJarsGivenByRelativePath) {
    Listed("a.jar", "Alpha");
    Listed("sub/b.jar", "Beta");
    const Result result = Prepare({"a.jar", "sub/b.jar"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, Log("a.jar", "Alpha.jad generated!") +
                              Log("a.jar", "Alpha.ids generated!") +
                              Log("sub/b.jar", "Beta.jad generated!") +
                              Log("sub/b.jar", "Beta.ids generated!"));
    EXPECT_EQ(result.err, "2 prepared, 0 skipped, 0 failed\n");
    EXPECT_EQ(FolderNames(Projects("Beta")),
              (std::vector<std::string>{"Beta.jad", "Beta.jar", "icon.png"}));
    EXPECT_TRUE(Contains(ReadBytes(Projects("Alpha/Alpha.jad")), "MIDlet-Jar-URL: Alpha.jar\r\n"));
    EXPECT_FALSE(fs::exists(Program() + "Brannoc.cfg"));  // nothing is saved

    // Again: the projects are there; then the working JARs are.
    EXPECT_EQ(Prepare({"a.jar"}).out, Log("a.jar", "Alpha.jad is already generated!") +
                                          Log("a.jar", "Alpha.ids generated!"));
    const Result again = Prepare({"a.jar"});
    EXPECT_EQ(again.out, Log("a.jar", Temp("a.jar") + " already exists!"));
    EXPECT_EQ(again.err, "0 prepared, 1 skipped, 0 failed\n");
}

TEST_F(QuellorBatch, SettingsFileGivesWhatTheCommandLineDoesNot) {
    const std::string settings =
        "[Java]\r\nApps=fs:/card1/A/\r\nGame=fs:/card1/G/\r\nType=1\r\nIds=0\r\nIcon=0\r\n";
    WriteBytes(Program() + "Brannoc.cfg", settings);
    Listed("a.jar", "Alpha");
    Listed("b.jar", "Beta");
    Listed("c.jar", "Gamma");

    Result result = Prepare({"a.jar"});
    EXPECT_EQ(result.out, Log("a.jar", "Alpha.jad generated!"));
    EXPECT_EQ(FolderNames(Projects("Alpha")), (std::vector<std::string>{"Alpha.jad", "Alpha.jar"}));

    result = Prepare({"--ids", "--icon", "--jad", "simple", "b.jar"});
    EXPECT_EQ(result.out,
              Log("b.jar", "Beta.jad generated!") + Log("b.jar", "Beta.ids generated!"));
    EXPECT_EQ(ReadBytes(Projects("Beta/Beta.jad")), "MIDlet-1: Beta, icon.png,  t.Main\r\n");
    EXPECT_TRUE(fs::exists(Projects("Beta/icon.png")));
    EXPECT_EQ(platform::ReadAllLines(Projects("Beta.ids"))[2], "fs:/card1/G/Beta/Beta.jad");

    result = Prepare({"--ids", "--type", "app", "--app-path", "fs:/x/", "c.jar"});
    EXPECT_EQ(platform::ReadAllLines(Projects("Gamma.ids"))[2], "fs:/x/Gamma/Gamma.jad");
    EXPECT_EQ(ReadBytes(Program() + "Brannoc.cfg"), settings);
}

// Every error line names the JAR it belongs to. Without --keep-going the
// first failure ends the run; with it, the run goes through the list. Both
// end with the count, and exit 1 when a JAR failed.
TEST_F(QuellorBatch, FailuresNameTheirJar) {
    Listed("1.jar", "One");
    Listed("2.jar", "Two");
    MakeZipJar(In("3.jar"), std::nullopt, {{"x.class", "x"}});
    MakeZipJar(In("4.jar"), "MIDlet-1: Four, /f.png, f.F\r\n");
    Listed("5.jar", "Five");
    const std::vector<std::string> jars = {"1.jar",       "2.jar", "3.jar",
                                           "missing.jar", "4.jar", "5.jar"};
    std::vector<std::string> args = {"--no-ids"};
    args.insert(args.end(), jars.begin(), jars.end());
    Result result = Prepare(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, Log("1.jar", "One.jad generated!") + Log("2.jar", "Two.jad generated!"));
    EXPECT_EQ(result.err, "error: " + In("3.jar") + ": " + kNoManifest + "\n" +
                              "2 prepared, 0 skipped, 1 failed\n");

    args.insert(args.begin(), "--keep-going");
    fs::remove_all(Projects());
    result = Prepare(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, Log("1.jar", "One.jad generated!") + Log("2.jar", "Two.jad generated!") +
                              Log("5.jar", "Five.jad generated!"));
    EXPECT_EQ(result.err, "error: " + In("3.jar") + ": " + kNoManifest + "\n" +
                              "error: " + In("missing.jar") + ": File not found: \"" +
                              In("missing.jar") + "\".\n" + "error: " + In("4.jar") +
                              ": MIDlet-Name not found in the manifest.\n" +
                              "3 prepared, 0 skipped, 3 failed\n");

    // Nothing failed: exit 0, with the count.
    fs::remove_all(Projects());
    result = Prepare({"--keep-going", "1.jar", "2.jar"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "2 prepared, 0 skipped, 0 failed\n");
}

// An IDS file that cannot be written is a failure of its JAR: the box's
// question and the log line, then the error line, and exit 1; once it can
// be written, the next run finishes with exit 0.
TEST_F(QuellorBatch, IdsFileThatCannotBeWrittenExitsOne) {
    Listed("a.jar", "Alpha");
    fs::create_directories(Projects("Alpha.ids/in-the-way"));
    Result result = Prepare({"--ids", "a.jar"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out,
              Log("a.jar", "Alpha.jad generated!") + Log("a.jar", "Alpha.ids generation failed!"));
    EXPECT_TRUE(Contains(result.err, "error: " + In("a.jar") +
                                         ": Could not write the IDS file Alpha.ids for \"" +
                                         In("a.jar") + "\": Access is denied.\n"));
    fs::remove_all(Projects("Alpha.ids"));
    result = Prepare({"--ids", "a.jar"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, Log("a.jar", "Alpha.jad is already generated!") +
                              Log("a.jar", "Alpha.ids generated!"));
}

// Two runs at once on one program folder: the second stops at once, exit 1,
// and the first prepares every JAR with its own manifest.
TEST_F(QuellorBatch, SecondRunOnTheSameWorkspaceStops) {
    std::vector<std::string> first = {"--program-folder", Program(), "--no-ids"};
    std::vector<std::string> second = first;
    for (int i = 0; i < 30; ++i) {
        const std::string name = "Suite" + std::to_string(i);
        Listed("a/" + name + ".jar", name);
        Listed("b/" + name + ".jar", "Other" + std::to_string(i));
        first.push_back(In("a/" + name + ".jar"));
        second.push_back(In("b/" + name + ".jar"));
    }
    // The first run holds the workspace while it prints its first line; the
    // second starts then.
    std::string command = Quote(kTool);
    for (const std::string& arg : first) {
        command += " " + Quote(arg);
    }
    command += " > " + Quote(Program() + "first.txt") + " 2>&1 & ";
    command += "while ! grep -q generated " + Quote(Program() + "first.txt") +
               " 2>/dev/null; do sleep 0.01; done; " + Quote(kTool);
    for (const std::string& arg : second) {
        command += " " + Quote(arg);
    }
    command += " > " + Quote(Program() + "second.txt") + " 2>&1; echo $?; wait $!; echo $?";
    const CommandResult result = Shell(command);
    EXPECT_EQ(result.out, "1\n0\n");
    EXPECT_EQ(ReadBytes(Program() + "second.txt"),
              "error: Another run is using the workspace in \"" + Program() +
                  "\"; try again when it has ended.\n0 prepared, 0 skipped, 0 failed\n");
    const std::string log = ReadBytes(Program() + "first.txt");
    for (int i = 0; i < 30; ++i) {
        const std::string name = "Suite" + std::to_string(i);
        SCOPED_TRACE(name);
        EXPECT_TRUE(Contains(log, name.substr(0, 9) + ".jad generated!\n"));
    }
    for (const std::string& project : FolderNames(Projects())) {
        const std::string name = project.substr(0, project.size() - 1);
        const std::string jar = Projects(project + name + ".jar");
        EXPECT_TRUE(Contains(ReadBytes(Projects(project + name + ".jad")),
                             EntryBytes(jar, "META-INF/MANIFEST.MF")));
        EXPECT_TRUE(Contains(EntryBytes(jar, "META-INF/MANIFEST.MF"), "Suite"));
    }
    EXPECT_EQ(FolderNames(Temp()), (std::vector<std::string>{".suites/", ".workspace-lock"}));
}

// A manifest entry whose data fails its check ends the JAR with the archive
// engine's message, whatever the failure policy: there is nothing to retry
// and nothing to go on with.
TEST_F(QuellorBatch, DamagedManifestEndsTheJarWithTheEnginesMessage) {
    const std::string jar = In("bad.jar");
    WriteBytes(In("stage/META-INF/MANIFEST.MF"), SimpleManifest("Damaged"));
    ASSERT_EQ(Shell("cd " + Quote(In("stage")) + " && zip -q -X -0 " + Quote(jar) +
                    " META-INF/MANIFEST.MF")
                  .status,
              0);
    std::string bytes = ReadBytes(jar);
    const auto at = bytes.find("Damaged", bytes.find("MIDlet-Name"));
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'd';
    WriteBytes(jar, bytes);

    for (const char* policy : {"abort", "ignore", "retry-once"}) {
        SCOPED_TRACE(policy);
        const Result result = Prepare({"--on-failure", policy, "bad.jar"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "error: " + jar +
                                  ": an entry is damaged: its data does not match its size or "
                                  "CRC-32, or it is compressed by a method other than stored "
                                  "or deflated.\n0 prepared, 0 skipped, 1 failed\n");
        EXPECT_EQ(FolderNames(Temp()), (std::vector<std::string>{".workspace-lock"}));
    }
}

// --check: the report of each new project (its verdict line, then its
// findings and what preparing lost) follows its log lines, in the order of
// the list; a project found already generated gets none. The run ends with
// 1 when a verdict was not ok, after the whole list.
struct CheckCase {
    const char* name;
    std::vector<std::string> corpus;  // signed suites copied with their JADs
    // JARs made here: file, MIDlet-Name, whether its MIDlet-1 class is there
    std::vector<std::tuple<std::string, std::string, bool>> crafted;
    // The lines expected in this order, each by its start; "{in}" stands for
    // the folder of the listed JARs, "{projects}" for the projects folder.
    // The last is the last line printed.
    std::vector<std::string> lines;
    int status;
    // --quiet: of the reports, only those whose verdict is not ok
    bool quiet = false;
};

const CheckCase kCheckCases[] = {
    {"SignedCorpusSuites",
     {"BombusMod_BombusMod/BombusMod.jar", "vipaoL_j2me_compiler_WTK252/JBricks.jar"},
     {},
     // The full JADs keep the keys only the listed JADs had, and join the
     // manifest's continued lines; JBricks asks for MIDP 2.1, which the
     // default phone lacks.
     {"{in}BombusMod.jar: BombusMod.jad generated!",
      "{in}BombusMod.jar: BombusMod.jad: 3 keys from the original JAD",
      "{in}BombusMod.jar: {projects}BombusMod/BombusMod.jar: verdict ok",
      "{in}BombusMod.jar: {in}BombusMod.jar: warning 909 MIDlet-Jar-RSA-SHA1: ",
      "{in}JBricks.jar: JBricks.jad generated!",
      "{in}JBricks.jar: JBricks.jad: 1 key from the original JAD",
      "{in}JBricks.jar: {projects}JBricks/JBricks.jar: verdict 908 MicroEdition-Profile: ",
      "{in}JBricks.jar: {in}JBricks.jar: warning 909 MIDlet-Jar-RSA-SHA1: "},
     1},
    {"MissingMidletClass",
     {},
     {{"broken.jar", "Broken", false}, {"good.jar", "Good", true}, {"again.jar", "Good", true}},
     {"{in}broken.jar: Broken.jad generated!",
      "{in}broken.jar: {projects}Broken/Broken.jar: verdict 907 MIDlet-1: ",
      "{in}good.jar: Good.jad generated!",
      "{in}good.jar: {projects}Good/Good.jar: verdict ok (device midp20-cldc11)",
      "{in}again.jar: Good.jad is already generated!"},
     1},
    {"QuietKeepsWhatIsNotOk",
     {},
     {{"broken.jar", "Broken", false}, {"good.jar", "Good", true}},
     {"{in}broken.jar: {projects}Broken/Broken.jar: verdict 907 MIDlet-1: "},
     1,
     true},
};

class QuellorBatchCheck : public QuellorBatch, public ::testing::WithParamInterface<CheckCase> {
  protected:
    // A suite the installer takes, but for the class it may lack.
    void Crafted(const std::string& file, const std::string& name, bool withClass) {
        Files files = {{"icon.png", TinyPng()}};
        if (withClass) {
            files.push_back({"t/Main.class", ClassBytes("t")});
        }
        MakeZipJar(In(file),
                   "Manifest-Version: 1.0\r\nMIDlet-Name: " + name +
                       "\r\nMIDlet-Vendor: Tests\r\nMIDlet-Version: 1.0\r\n"
                       "MicroEdition-Configuration: CLDC-1.1\r\n"
                       "MicroEdition-Profile: MIDP-2.0\r\nMIDlet-1: " +
                       name + ", /icon.png, t.Main\r\n\r\n",
                   files);
    }
};

TEST_P(QuellorBatchCheck, PrintsTheFindingsOfEachNewProject) {
    const CheckCase& c = GetParam();
    std::vector<std::string> args = {"--check", "--no-ids", "--keep-going"};
    if (c.quiet) {
        args.push_back("--quiet");
    }
    fs::create_directories(In(""));
    for (const std::string& suite : c.corpus) {
        const fs::path source = QUELLOR_CORPUS_DIR "/midlets/" + suite;
        if (!fs::exists(source)) {
            GTEST_SKIP() << "no corpus suite " << source;
        }
        const std::string jar = In(source.filename().string());
        fs::copy_file(source, jar);
        fs::copy_file(fs::path(source).replace_extension(".jad"),
                      fs::path(jar).replace_extension(".jad"));
        args.push_back(jar);
    }
    for (const auto& [file, name, withClass] : c.crafted) {
        Crafted(file, name, withClass);
        args.push_back(In(file));
    }
    const Result result = Prepare(args);
    EXPECT_EQ(result.status, c.status) << result.err;

    std::vector<std::string> printed;
    std::istringstream out(result.out);
    for (std::string line; std::getline(out, line);) {
        printed.push_back(line);
        // The preparation keeps the JAR's size and identity in its JAD.
        EXPECT_FALSE(std::regex_search(line, std::regex(" (error|warning|verdict) 90[45] ")))
            << line;
    }
    auto next = printed.begin();
    for (std::string want : c.lines) {
        for (const auto& [mark, folder] : {std::pair{"{in}", In("")}, {"{projects}", Projects()}}) {
            for (auto at = want.find(mark); at != std::string::npos; at = want.find(mark)) {
                want.replace(at, std::string(mark).size(), folder);
            }
        }
        next = std::find_if(next, printed.end(),
                            [&](const std::string& line) { return line.rfind(want, 0) == 0; });
        ASSERT_NE(next, printed.end()) << "missing in order: " << want << "\n" << result.out;
        ++next;
    }
    EXPECT_EQ(next, printed.end()) << result.out;
    if (c.quiet) {
        EXPECT_EQ(printed.size(), c.lines.size()) << result.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, QuellorBatchCheck, ::testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(QuellorBatch, WrongCommandLines) {
    Listed("a.jar", "Alpha");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"--jad", "short", "a.jar"},
                                               {"--type", "tool", "a.jar"},
                                               {"--on-failure", "never", "a.jar"},
                                               {"--colour", "a.jar"},
                                               {"--program-folder"},
                                               {"--ids"}}) {
        const Result result = RunTool(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(Contains(result.err, "; try 'quellor-batch --help'"));
    }
    EXPECT_FALSE(fs::exists(Projects()));
}

// --force prepares a suite again over the project an earlier run made of
// it, even where a run that found it already generated kept its working
// JAR: the new project takes the old one's place whole.
TEST_F(QuellorBatch, ForcePreparesAgainOverTheProject) {
    Listed("a.jar", "Alpha");
    ASSERT_EQ(Prepare({"--no-ids", "a.jar"}).status, 0);
    EXPECT_EQ(Prepare({"--no-ids", "a.jar"}).out, Log("a.jar", "Alpha.jad is already generated!"));
    EXPECT_TRUE(fs::exists(Temp("a.jar")));

    MakeZipJar(In("a.jar"), SimpleManifest("Alpha"),
               {{"icon.png", TinyPng()}, {"more.class", std::string(4000, 'x')}});
    const Result result = Prepare({"--no-ids", "--force", "a.jar"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, Log("a.jar", "Alpha.jad generated!"));
    EXPECT_TRUE(Contains(ReadBytes(Projects("Alpha/Alpha.jar")), "more.class"));
    EXPECT_TRUE(Contains(
        ReadBytes(Projects("Alpha/Alpha.jad")),
        "MIDlet-Jar-Size: " + std::to_string(fs::file_size(Projects("Alpha/Alpha.jar"))) + "\r\n"));
}

// Options stand anywhere among the JARs, take their value after "=", and
// "--" ends them; --quiet leaves out the log lines but not the errors.
TEST_F(QuellorBatch, OptionsAnywhereAndAfterTheEndOfOptions) {
    Listed("a.jar", "Alpha");
    Listed("-b.jar", "Beta");
    Result result = Prepare({"a.jar", "--jad=simple", "--no-ids", "--", "-b.jar"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              Log("a.jar", "Alpha.jad generated!") + Log("-b.jar", "Beta.jad generated!"));
    EXPECT_FALSE(Contains(ReadBytes(Projects("Alpha/Alpha.jad")), "MIDlet-Vendor"));

    fs::remove_all(Projects());
    MakeZipJar(In("c.jar"), std::nullopt, {{"x.class", "x"}});
    result = Prepare({"-q", "a.jar", "c.jar", "--keep-going"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "error: " + In("c.jar") + ": " + kNoManifest + "\n1 prepared, 0 skipped, 1 failed\n");
    EXPECT_TRUE(fs::exists(Projects("Alpha/Alpha.jar")));
}

// Without --program-folder a portable copy (quellor.portable beside it) keeps
// everything beside itself; an installed copy works in the user's data
// folder, even when it runs as root and could write its own folder.
TEST_F(QuellorBatch, ProgramFolderFollowsThePortableMarker) {
    const std::string copy = Program() + "bin/quellor-batch";
    fs::create_directories(Program() + "bin");
    fs::copy_file(kTool, copy);
    Listed("a.jar", "Alpha");
    const std::vector<std::string> args = {"HOME=" + Program() + "home",
                                           "XDG_DATA_HOME=" + Program() + "xdg", copy, "a.jar"};

    WriteBytes(Program() + "bin/quellor.portable", "");
    Result result = RunTool(args, "env");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(Program() + "bin/projects/Alpha/Alpha.jar"));
    EXPECT_EQ(FolderNames(Program() + "bin/temp"),
              (std::vector<std::string>{".suites/", ".workspace-lock"}));
    EXPECT_FALSE(fs::exists(Program() + "xdg"));

    fs::remove_all(Program() + "bin/projects");
    fs::remove_all(Program() + "bin/temp");
    fs::remove(Program() + "bin/quellor.portable");
    result = RunTool(args, "env");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(Program() + "xdg/quellor/projects/Alpha/Alpha.jar"));
    EXPECT_EQ(FolderNames(Program() + "bin"), (std::vector<std::string>{"quellor-batch"}));
}

// A portable copy in a folder it cannot write (a read-only mount refuses even
// root) works in $XDG_DATA_HOME/quellor/, by default
// ~/.local/share/quellor/, and makes that folder on its first run.
TEST_F(QuellorBatch, ReadOnlyExecutableFolderWorksInTheUsersDataFolder) {
    const std::string bin = Program() + "bin";
    fs::create_directories(bin);
    if (Shell("mount -t tmpfs quellor-test " + Quote(bin) + " 2>/dev/null").status != 0) {
        GTEST_SKIP() << "mounting a read-only folder is not permitted here";
    }
    struct Unmount {
        std::string at;
        ~Unmount() { Shell("umount " + Quote(at)); }
    } unmount{bin};
    const std::string tool = bin + "/quellor-batch";
    fs::copy_file(kTool, tool);
    WriteBytes(bin + "/quellor.portable", "");
    ASSERT_EQ(Shell("mount -o remount,ro " + Quote(bin)).status, 0);
    Listed("a.jar", "Alpha");

    const std::string home = "HOME=" + Program() + "home";
    const struct {
        std::vector<std::string> environment;
        std::string data;
    } cases[] = {
        {{home, "XDG_DATA_HOME=" + Program() + "xdg"}, Program() + "xdg/quellor/"},
        {{home, "XDG_DATA_HOME=relative"}, Program() + "home/.local/share/quellor/"},
        {{"-u", "XDG_DATA_HOME", home}, Program() + "home/.local/share/quellor/"},
    };
    for (const auto& [environment, data] : cases) {
        SCOPED_TRACE(::testing::PrintToString(environment));
        fs::remove_all(data);
        std::vector<std::string> args = environment;
        args.insert(args.end(), {tool, "a.jar"});
        const Result result = RunTool(args, "env");
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(fs::exists(data + "projects/Alpha/Alpha.jar"));
        EXPECT_EQ(FolderNames(data + "temp"),
                  (std::vector<std::string>{".suites/", ".workspace-lock"}));
    }
}

}  // namespace
}  // namespace preptest
