// quellor-batch, run as a user runs it: real JARs, a program folder of its
// own, the settings file there, the log on standard output, the failure
// text and the exit status.
#include <gtest/gtest.h>

#include "midlet/prepare_support.h"
#include "platform/TextFile.h"

namespace preptest {
namespace {

const std::string kTool = QUELLOR_BINARY_DIR "/tools/quellor-batch";

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class Tool : public Workspace {
  protected:
    // Runs the tool in `cwd` (the JAR folder by default) with these arguments.
    Result RunTool(const std::vector<std::string>& args, const std::string& tool = kTool,
                   std::string cwd = {}) {
        if (cwd.empty()) {
            cwd = In("");
        }
        fs::create_directories(cwd);
        std::string command = "cd " + Quote(cwd) + " && " + Quote(tool);
        for (const std::string& arg : args) {
            command.append(" ").append(Quote(arg));
        }
        const std::string out = Program() + "stdout.txt";
        const std::string err = Program() + "stderr.txt";
        Result result;
        result.status =
            Shell(command + " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null").status;
        result.out = ReadBytes(out);
        result.err = ReadBytes(err);
        fs::remove(out);
        fs::remove(err);
        return result;
    }

    // The tool's run over JARs, with the workspace as its program folder.
    Result Prepare(std::vector<std::string> args) {
        args.insert(args.begin(), {"--program-folder", Program()});
        return RunTool(args);
    }

    std::string Listed(const std::string& file, const std::string& name) {
        MakeZipJar(In(file), SimpleManifest(name), {{"icon.png", TinyPng()}});
        return In(file);
    }
};

TEST_F(Tool, PreparesJarsGivenByRelativePath) {
    Listed("a.jar", "Alpha");
    Listed("sub/b.jar", "Beta");
    const Result result = Prepare({"a.jar", "sub/b.jar"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "Alpha.jad generated!\nAlpha.ids generated!\nBeta.jad generated!\n"
              "Beta.ids generated!\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(FolderNames(Projects("Beta")),
              (std::vector<std::string>{"Beta.jad", "Beta.jar", "icon.png"}));
    EXPECT_TRUE(Contains(ReadBytes(Projects("Alpha/Alpha.jad")), "MIDlet-Jar-URL: Alpha.jar\r\n"));
    EXPECT_FALSE(fs::exists(Program() + "Brannoc.cfg"));  // nothing is saved

    // Again: the projects are there; then the working JARs are.
    EXPECT_EQ(Prepare({"a.jar"}).out, "Alpha.jad is already generated!\nAlpha.ids generated!\n");
    EXPECT_EQ(Prepare({"a.jar"}).out, Temp("a.jar") + " already exists!\n");
}

TEST_F(Tool, SettingsFileGivesWhatTheCommandLineDoesNot) {
    const std::string settings =
        "[Java]\r\nApps=fs:/card1/A/\r\nGame=fs:/card1/G/\r\nType=1\r\nIds=0\r\nIcon=0\r\n";
    WriteBytes(Program() + "Brannoc.cfg", settings);
    Listed("a.jar", "Alpha");
    Listed("b.jar", "Beta");
    Listed("c.jar", "Gamma");

    Result result = Prepare({"a.jar"});
    EXPECT_EQ(result.out, "Alpha.jad generated!\n");
    EXPECT_EQ(FolderNames(Projects("Alpha")), (std::vector<std::string>{"Alpha.jad", "Alpha.jar"}));

    result = Prepare({"--ids", "--icon", "--jad", "simple", "b.jar"});
    EXPECT_EQ(result.out, "Beta.jad generated!\nBeta.ids generated!\n");
    EXPECT_EQ(ReadBytes(Projects("Beta/Beta.jad")), "MIDlet-1: Beta, icon.png,  t.Main\r\n");
    EXPECT_TRUE(fs::exists(Projects("Beta/icon.png")));
    EXPECT_EQ(platform::ReadAllLines(Projects("Beta.ids"))[2], "fs:/card1/G/Beta/Beta.jad");

    result = Prepare({"--ids", "--type", "app", "--app-path", "fs:/x/", "c.jar"});
    EXPECT_EQ(platform::ReadAllLines(Projects("Gamma.ids"))[2], "fs:/x/Gamma/Gamma.jad");
    EXPECT_EQ(ReadBytes(Program() + "Brannoc.cfg"), settings);
}

TEST_F(Tool, FailureEndsTheRunWithTheBoxText) {
    Listed("1.jar", "One");
    Listed("2.jar", "Two");
    MakeZipJar(In("3.jar"), std::nullopt, {{"x.class", "x"}});
    Listed("4.jar", "Four");
    const Result result = Prepare({"--no-ids", "1.jar", "2.jar", "3.jar", "4.jar"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "One.jad generated!\nTwo.jad generated!\n");
    EXPECT_EQ(result.err, "error: File not found.\n");
}

// A manifest entry whose data fails its check is put to the failure policy;
// nothing is extracted, so the preparation then misses the manifest.
TEST_F(Tool, DamagedManifestGoesThroughTheFailurePolicy) {
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
        fs::remove_all(Temp());
        const Result result = Prepare({"--on-failure", policy, "bad.jar"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(Contains(result.err, "failure: "));
        EXPECT_TRUE(Contains(result.err, "\nerror: File not found.\n"));
    }
}

TEST_F(Tool, WrongCommandLines) {
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
        EXPECT_TRUE(Contains(result.err, "usage: quellor-batch"));
    }
    EXPECT_FALSE(fs::exists(Projects()));
}

// Without --program-folder the workspace is beside the executable when the
// program may write there: a portable copy keeps everything beside itself.
TEST_F(Tool, ProgramFolderIsTheExecutablesFolder) {
    const std::string copy = Program() + "bin/quellor-batch";
    fs::create_directories(Program() + "bin");
    fs::copy_file(kTool, copy);
    Listed("a.jar", "Alpha");
    const Result result = RunTool({"a.jar"}, copy);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(Program() + "bin/projects/Alpha/Alpha.jar"));
    EXPECT_TRUE(FolderNames(Program() + "bin/temp").empty());
}

// An installed copy, in a folder it cannot write (a read-only mount refuses
// even root), works in $XDG_DATA_HOME/quellor/, by default
// ~/.local/share/quellor/, and makes that folder on its first run.
TEST_F(Tool, ReadOnlyExecutableFolderWorksInTheUsersDataFolder) {
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
        EXPECT_TRUE(FolderNames(data + "temp").empty());
    }
}

// On a terminal the progress bar is drawn and ends full.
TEST_F(Tool, ProgressBarOnATerminal) {
    if (Shell("command -v script >/dev/null").status != 0) {
        GTEST_SKIP() << "no script(1) to give the tool a terminal";
    }
    Listed("a.jar", "Alpha");
    std::string command =
        Quote(kTool) + " --program-folder " + Quote(Program()) + " " + Quote(In("a.jar"));
    const std::string screen = Shell("script -qec " + Quote(command) + " /dev/null").out;
    EXPECT_TRUE(Contains(screen, "Alpha.jad generated!"));
    EXPECT_TRUE(Contains(screen, "[" + std::string(40, '#') + "] 3/3"));
}

}  // namespace
}  // namespace preptest
