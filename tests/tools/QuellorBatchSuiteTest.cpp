// quellor-batch and what a suite needs beyond its JAR: the keys of its
// original JAD (beside it, or named with --original-jad) in the full JAD,
// and archives of other platforms refused by name.
#include <gtest/gtest.h>

#include "midlet/ClassBuilder.h"
#include "midlet/PrepareSupport.h"

namespace preptest {
namespace {

class QuellorBatchSuite : public Workspace {
  protected:
    CommandResult Prepare(const std::vector<std::string>& args) {
        std::string command = Quote(QUELLOR_BINARY_DIR "/tools/quellor-batch") +
                              " --program-folder " + Quote(Program()) + " --no-ids";
        for (const std::string& arg : args) {
            command.append(" ").append(Quote(arg));
        }
        return Shell(command + " 2>&1 </dev/null");
    }

    std::string Listed(const std::string& file) {
        MakeZipJar(In(file), SimpleManifest("Alpha") + "", {{"icon.png", TinyPng()}});
        return In(file);
    }
};

const std::string kOriginalJad =
    "MIDlet-Name: Alpha\r\nGlu-Idle-Threshold: 30\r\nMIDlet-Jar-Size: 1\r\n"
    "MIDlet-Jar-URL: x.jar\r\nMIDlet-Jar-RSA-SHA1: c2ln\r\nMIDlet-Certificate-1-1: Y2VydA==\r\n"
    "Full-Version: yes\r\nGlu-Idle-Threshold: 45\r\n";

TEST_F(QuellorBatchSuite, AFullJadKeepsTheKeysOnlyTheOriginalJadHad) {
    const std::string jar = Listed("a.jar");
    WriteBytes(In("a.jad"), kOriginalJad);
    CommandResult run = Prepare({jar});
    EXPECT_EQ(run.status, 0) << run.out;
    const std::string log = jar + ": Alpha.jad generated!\n" + jar +
                            ": Alpha.jad: 2 keys from the original JAD\n" +
                            "1 prepared, 0 skipped, 0 failed\n";
    EXPECT_EQ(run.out, log);
    const std::string jad = ReadBytes(Projects("Alpha/Alpha.jad"));
    // The installer reads the last of a repeated key; the signature stays.
    EXPECT_TRUE(Contains(jad,
                         "\r\nGlu-Idle-Threshold: 45\r\nFull-Version: yes\r\n"
                         "MIDlet-Jar-Size: "));
    EXPECT_FALSE(Contains(jad, "RSA"));
    EXPECT_FALSE(Contains(jad, "Certificate"));

    // A simple JAD takes none; --check says what it lacks.
    fs::remove_all(Projects());
    run = Prepare({"--jad", "simple", "--check", jar});
    EXPECT_TRUE(Contains(run.out, jar + ": Alpha.jad generated!\n")) << run.out;
    EXPECT_FALSE(Contains(run.out, "original JAD\n"));
    EXPECT_TRUE(Contains(run.out, jar + ": " + In("a.jad") + ": warning - Full-Version: only in"));

    // The original JAD named on the command line, for the one JAR given.
    fs::remove_all(Projects());
    fs::rename(In("a.jad"), Program() + "elsewhere.jad");
    run = Prepare({"--original-jad", Program() + "elsewhere.jad", jar});
    EXPECT_EQ(run.out, log);
    // --check compares with the JAD named, not with one that is not there.
    fs::remove_all(Projects());
    run =
        Prepare({"--jad", "simple", "--check", "--original-jad", Program() + "elsewhere.jad", jar});
    EXPECT_TRUE(Contains(run.out, jar + ": " + Program() + "elsewhere.jad: warning - Full-Version"))
        << run.out;
    EXPECT_EQ(Prepare({"--original-jad", Program() + "elsewhere.jad", jar, jar}).status, 2);
    run = Prepare({"--original-jad", Program() + "gone.jad", jar});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "error: " + Program() + "gone.jad: the original JAD cannot be read\n");
}

std::string ClassExtending(const std::string& name, const std::string& super) {
    classtest::ClassBuilder b(name, super);
    b.Method("<init>", "()V", classtest::kReturn);
    return b.Bytes(45, 3);
}

TEST_F(QuellorBatchSuite, ArchivesOfOtherPlatformsAreRefusedByName) {
    MakeZipJar(In("doja.jar"), std::nullopt,
               {{"Game.class", ClassExtending("Game", "com/nttdocomo/ui/IApplication")}});
    MakeZipJar(In("jam.jar"), std::nullopt, {{"a.gif", "GIF89a"}});
    WriteBytes(In("jam.jam"), "AppName=Game\r\nAppClass=Game\r\n");
    MakeZipJar(In("wipi.jar"), std::nullopt,
               {{"w/App.class", ClassExtending("w/App", "org/kwis/msp/lcdui/Jlet")}});
    MakeZipJar(In("bb.jar"), std::nullopt, {{"app.cod", "not a module"}});
    const CommandResult run =
        Prepare({"--keep-going", In("doja.jar"), In("jam.jar"), In("wipi.jar"), In("bb.jar")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "error: " + In("doja.jar") +
                           ": This is an i-mode/DoJa application, not a MIDlet "
                           "suite.\nerror: " +
                           In("jam.jar") +
                           ": This is an i-mode/DoJa application, not a "
                           "MIDlet suite.\nerror: " +
                           In("wipi.jar") +
                           ": This is a WIPI application, not a "
                           "MIDlet suite.\nerror: " +
                           In("bb.jar") +
                           ": This is a BlackBerry module, not a "
                           "MIDlet suite.\n0 prepared, 0 skipped, 4 failed\n");
}

}  // namespace
}  // namespace preptest
