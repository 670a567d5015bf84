// The batch run over several JARs: repeated runs over the same list, names
// that share their first 9 characters, a failure part way through, and the
// failures a real JAR or workspace can bring.
#include <gtest/gtest.h>

#include "midlet/ExceptionText.h"
#include "midlet/PrepareSupport.h"
#include "platform/Files.h"
#include "platform/TextFile.h"

namespace preptest {
namespace {

using Lines = std::vector<std::string>;

class Batch : public Workspace {
  protected:
    // A listed JAR of a MIDlet named `name`, with its icon and a class.
    std::string Listed(const std::string& file, const std::string& name) {
        const std::string path = In(file);
        MakeZipJar(path, SimpleManifest(name), {{"icon.png", TinyPng()}, {"t/Main.class", name}});
        return path;
    }
};

TEST_F(Batch, SecondRunFindsTheProjectsAndThirdRunSkipsTheJars) {
    const Lines list = {Listed("a.jar", "Alpha"), Listed("b.jar", "Beta Game")};
    Run(list);
    EXPECT_EQ(output.log, (Lines{"Alpha.jad generated!", "Alpha.ids generated!",
                                 "BetaGame.jad generated!", "BetaGame.ids generated!"}));
    EXPECT_EQ(output.progress, 6);
    const std::string alphaJad = ReadBytes(Projects("Alpha/Alpha.jad"));
    const std::string betaJar = ReadBytes(Projects("BetaGame/BetaGame.jar"));

    Run(list);
    EXPECT_EQ(Lines(output.log.begin() + 4, output.log.end()),
              (Lines{"Alpha.jad is already generated!", "Alpha.ids generated!",
                     "BetaGame.jad is already generated!", "BetaGame.ids generated!"}));
    EXPECT_EQ(output.progress, 12);
    EXPECT_EQ(state.jadCount, 2);
    EXPECT_EQ(state.idsCount, 4);
    // The projects stay as the first run made them; the working JARs stay.
    EXPECT_EQ(ReadBytes(Projects("Alpha/Alpha.jad")), alphaJad);
    EXPECT_EQ(ReadBytes(Projects("BetaGame/BetaGame.jar")), betaJar);
    EXPECT_TRUE(fs::exists(Temp("a.jar")) && fs::exists(Temp("b.jar")));

    Run(list);
    EXPECT_EQ(Lines(output.log.begin() + 8, output.log.end()),
              (Lines{Temp("a.jar") + " already exists!", Temp("b.jar") + " already exists!"}));
    EXPECT_EQ(output.progress, 12);
    EXPECT_EQ(state.idsCount, 4);
}

// Once the second suite was lost behind the first, and its IDS file written
// over the first one's.
TEST_F(Batch, NamesSharingNineCharactersMakeAProjectEach) {
    const std::string first = Listed("stage.jar", "Rally: Night Stage");
    const std::string second = Listed("mare.jar", "Rally Nightmare");
    Run({first, second});
    EXPECT_EQ(output.log, (Lines{"RallyNigh.jad generated!", "RallyNigh.ids generated!",
                                 "RallyNig2.jad generated!", "RallyNig2.ids generated!"}));
    EXPECT_EQ(output.progress, 6);
    EXPECT_TRUE(Contains(ReadBytes(Projects("RallyNigh/RallyNigh.jad")),
                         "MIDlet-Name: RallyNightStage\r\n"));
    EXPECT_EQ(platform::ReadAllLines(Projects("RallyNigh.ids"))[1], "RallyNightStage");
    EXPECT_EQ(platform::ReadAllLines(Projects("RallyNig2.ids"))[1], "RallyNightmare");
    EXPECT_FALSE(fs::exists(Temp("mare.jar")));
}

TEST_F(Batch, FailureInTheThirdOfFiveEndsTheRunThere) {
    Lines list = {Listed("1.jar", "One"), Listed("2.jar", "Two")};
    list.push_back(In("3.jar"));
    MakeZipJar(list.back(), std::nullopt, {{"t/Main.class", "no manifest"}});
    list.push_back(Listed("4.jar", "Four"));
    list.push_back(Listed("5.jar", "Five"));

    const std::string message = RunFailing(list);
    EXPECT_EQ(message, "File not found");
    EXPECT_EQ(midlet::ExceptionBoxText(message), "File not found.");
    EXPECT_EQ(output.log, (Lines{"One.jad generated!", "One.ids generated!", "Two.jad generated!",
                                 "Two.ids generated!"}));
    EXPECT_EQ(output.progress, 6);
    EXPECT_EQ(FolderNames(Projects()), (Lines{"One.ids", "One/", "Two.ids", "Two/"}));
    // The failed JAR leaves nothing behind, so the next run tries it again.
    EXPECT_TRUE(TempLeftovers().empty());
    EXPECT_EQ(RunFailing({list[2]}), "File not found");
}

// A JAR without a manifest that follows a JAR found already generated (which
// leaves its extracted manifest in the temp folder) must not be prepared
// with that other MIDlet's manifest.
TEST_F(Batch, NoManifestNeverBorrowsTheManifestLeftBehind) {
    const std::string alpha = Listed("a.jar", "Alpha");
    const std::string again = Listed("again/alpha2.jar", "Alpha");
    const std::string bare = In("bare.jar");
    MakeZipJar(bare, std::nullopt, {{"t/Main.class", "bare"}});
    EXPECT_EQ(RunFailing({alpha, again, bare}), "File not found");
    EXPECT_EQ(output.log.back(), "Alpha.ids generated!");
    EXPECT_EQ(output.log[2], "Alpha.jad is already generated!");
}

// An IDS file that cannot be written fails its JAR, after the box and the
// log line: a run that goes on prepares the next; the next run over the
// same JAR finds the project and writes the IDS file.
TEST_F(Batch, AnIdsFileThatCannotBeWrittenFailsItsJar) {
    fs::create_directories(Projects("Alpha.ids"));  // a folder where the file goes
    const std::string alpha = Listed("a.jar", "Alpha");
    options.list = {alpha, Listed("b.jar", "Beta")};
    std::vector<midlet::JarFailure> failures;
    midlet::RunContext run{options, state, output, zip, Program()};
    run.onJarFailure = [&](const midlet::JarFailure& failure) { failures.push_back(failure); };
    const midlet::BatchTally tally = midlet::RunBatch(run);
    EXPECT_EQ(output.log, (Lines{"Alpha.jad generated!", "Alpha.ids generation failed!",
                                 "Beta.jad generated!", "Beta.ids generated!"}));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].Jar, alpha);
    EXPECT_EQ(failures[0].what(),
              "Could not write the IDS file Alpha.ids for \"" + alpha + "\": Access is denied.");
    EXPECT_EQ(tally.failed, 1);
    EXPECT_EQ(output.progress, 5);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].caption, "ids generate error!");
    EXPECT_EQ(state.idsCount, 1);
    EXPECT_TRUE(TempLeftovers().empty());

    // Without a run that goes on, the failure ends the run.
    fs::remove_all(Projects("Beta"));
    EXPECT_TRUE(Contains(RunFailing({alpha, In("b.jar")}), "Alpha.ids"));
    EXPECT_FALSE(fs::exists(Projects("Beta")));

    fs::remove(Projects("Alpha.ids"));
    output.log.clear();
    Run({alpha});
    EXPECT_EQ(output.log, (Lines{"Alpha.jad is already generated!", "Alpha.ids generated!"}));
}

// The failures that real input reaches, each in a fresh workspace.
class BatchFailure : public Batch {};

TEST_F(BatchFailure, NotAnArchive) {
    WriteBytes(In("text.jar"), "this is no archive at all, just text\n");
    EXPECT_TRUE(Contains(RunFailing({In("text.jar")}), "Invalid archive file."));
    EXPECT_TRUE(output.log.empty());
}

TEST_F(BatchFailure, EmptyCleanedNameOnTheFirstJar) {
    MakeZipJar(In("anon.jar"), "Manifest-Version: 1.0\r\nMIDlet-1: A, /a.png, a.A\r\n");
    EXPECT_EQ(RunFailing({In("anon.jar")}), "MIDlet-Name not found in the manifest");
    EXPECT_EQ(state.projectName, "");

    // A name made only of dropped characters empties it just the same.
    MakeZipJar(In("dots.jar"), SimpleManifest("... !!!"));
    EXPECT_EQ(RunFailing({In("dots.jar")}), "I/O error 183");
}

TEST_F(BatchFailure, NameACardCannotHold) {
    EXPECT_EQ(RunFailing({Listed("q.jar", "Say \"Hi\"")}), "I/O error 123");
}

// Once failures of the described behaviour, now prepared.
TEST_F(BatchFailure, SecondManifestBelowMetaInfIsLeftInTheJar) {
    MakeZipJar(In("two.jar"), SimpleManifest("Two"), {{"META-INF/sub/Manifest.mf", "x\r\n"}});
    Run({In("two.jar"), Listed("b.jar", "Beta")});
    EXPECT_EQ(output.log, (Lines{"Two.jad generated!", "Two.ids generated!", "Beta.jad generated!",
                                 "Beta.ids generated!"}));
    EXPECT_EQ(EntryBytes(Projects("Two/Two.jar"), "META-INF/sub/Manifest.mf"), "x\r\n");
    EXPECT_TRUE(TempLeftovers().empty());
}

TEST_F(BatchFailure, ReadOnlyJarIsNeverChanged) {
    const std::string listed = Listed("ro.jar", "ReadOnly");
    ASSERT_TRUE(platform::SetFileAttributes(listed, platform::faReadOnly));
    const std::string bytes = ReadBytes(listed);
    Run({listed});
    EXPECT_EQ(output.log, (Lines{"ReadOnly.jad generated!", "ReadOnly.ids generated!"}));
    EXPECT_EQ(ReadBytes(listed), bytes);
    EXPECT_EQ(platform::GetFileAttributes(listed) & platform::faReadOnly, platform::faReadOnly);
    EXPECT_TRUE(ArchiveIsSound(Projects("ReadOnly/ReadOnly.jar")));
    EXPECT_EQ(output.progress, 3);
}

TEST_F(BatchFailure, MissingListedFileIsNamedAndLeavesNothing) {
    // Shown as it is: a closing quotation mark takes no full stop.
    const std::string message = RunFailing({In("gone.jar")});
    EXPECT_EQ(midlet::ExceptionBoxText(message), "File not found: \"" + In("gone.jar") + "\"");
    EXPECT_TRUE(TempLeftovers().empty());
}

}  // namespace
}  // namespace preptest
