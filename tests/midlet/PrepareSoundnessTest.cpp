// Input that once broke a suite or was reported as done when it was not:
// names cut inside a letter, manifests not put back, MIDlet-1 lines without
// spaces, manifests without a name, leftovers in the temp folder, icon
// paths that name the project's own files, stale JAR lines, a workspace in
// use by another run.
#include <gtest/gtest.h>

#include "TestCorpus.h"
#include "midlet/ExceptionText.h"
#include "midlet/PrepareSupport.h"
#include "midlet/WorkspaceLock.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace preptest {
namespace {

using Lines = std::vector<std::string>;

const std::string kMidlets = QUELLOR_CORPUS_DIR "/midlets";
const std::string kNotPutBack = "The manifest could not be put back into the JAR";

class PrepareSoundness : public Workspace {
  protected:
    ~PrepareSoundness() override { platform::SetCodePages(0, 0); }

    // A corpus suite copied into the workspace.
    std::string CorpusCopy(const std::string& relative) {
        const std::string source = kMidlets + "/" + relative;
        const std::string copy = In(fs::path(relative).filename().string());
        fs::create_directories(In(""));
        fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
        return copy;
    }

    // A JAR written by python's zipfile: entries in order, deflated.
    void MakePythonJar(const std::string& jar, const Files& files) {
        std::string python =
            "import sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n";
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::string source = jar + ".src/" + std::to_string(i);
            WriteBytes(source, files[i].second);
            python += "    z.writestr(" + PythonString(files[i].first) + ", open(" +
                      PythonString(source) + ", 'rb').read())\n";
        }
        fs::create_directories(fs::path(jar).parent_path());
        ASSERT_EQ(Shell("python3 -c " + Quote(python) + " " + Quote(jar)).status, 0);
        fs::remove_all(jar + ".src");
    }

    static std::string PythonString(const std::string& text) {
        std::string quoted = "'";
        for (const char c : text) {
            quoted += c == '\\' || c == '\'' ? std::string("\\") + c : std::string(1, c);
        }
        return quoted + "'";
    }

    std::string Jad(const std::string& project) {
        return ReadBytes(Projects(project + "/" + project + ".jad"));
    }
    std::string JarManifest(const std::string& project) {
        return EntryBytes(Projects(project + "/" + project + ".jar"), "META-INF/MANIFEST.MF");
    }
};

// In a UTF-8 code page, "Шахматы" makes the project "Шахм" (8 bytes), not
// four letters and a broken byte, in every name and text the run writes.
TEST_F(PrepareSoundness, CyrillicNamesAreCutBetweenLetters) {
    platform::SetCodePages(platform::CP_UTF8, platform::CP_UTF8);
    const std::string chess = "\xD0\xA8\xD0\xB0\xD1\x85\xD0\xBC\xD0\xB0\xD1\x82\xD1\x8B";
    const std::string project = "\xD0\xA8\xD0\xB0\xD1\x85\xD0\xBC";
    MakeZipJar(In("chess.jar"), SimpleManifest(chess + " " + chess), {{"icon.png", TinyPng()}});
    Run({In("chess.jar")});
    EXPECT_EQ(output.log, (Lines{project + ".jad generated!", project + ".ids generated!"}));
    // 15 bytes of "ШахматыШахматы" end after the 7th letter.
    EXPECT_EQ(state.cleanedName, chess);
    EXPECT_EQ(FolderNames(Projects(project)),
              (Lines{"icon.png", project + ".jad", project + ".jar"}));
    EXPECT_TRUE(Contains(Jad(project), "MIDlet-Name: " + chess + "\r\n"));
    EXPECT_TRUE(Contains(JarManifest(project), "MIDlet-1: " + chess + ", icon.png,"));
    EXPECT_TRUE(Contains(ReadBytes(Projects(project + ".ids")), project + "/" + project + ".jar"));
}

// Real suites whose MIDlet-1 lines have no space after a comma.
TEST_F(PrepareSoundness, Midlet1WithoutSpacesInRealSuites) {
    QUELLOR_SKIP_WITHOUT_CORPUS();
    const std::string demos = CorpusCopy("pthalin_bittboy-j2me/midpath-demos.jar");
    const std::string bricks = CorpusCopy("vipaoL_j2me_compiler_WTK252/JBricks.jar");
    Run({demos, bricks});
    ASSERT_EQ(output.log, (Lines{"MIDPathDe.jad generated!", "MIDPathDe.ids generated!",
                                 "JBricks.jad generated!", "JBricks.ids generated!"}));
    // An empty icon field keeps the class in the third field.
    EXPECT_TRUE(Contains(JarManifest("MIDPathDe"),
                         "\r\nMIDlet-1: MIDPathDemos, , "
                         "org.thenesis.midpath.demo.ui.HelloWorldMIDlet\r\n"));
    EXPECT_TRUE(Contains(Jad("JBricks"),
                         "\r\nMIDlet-1: JBricks, jbricks.png, example.payment.jbricks.Main\r\n"));
}

// The write-back fails for a program folder deeper than the archive engine
// opens sources from; whether the user aborts or ignores the failure, the
// JAR is not reported as prepared and no project is made. An abort ends the
// JAR with the engine's own reason, an ignore with the failed check.
TEST_F(PrepareSoundness, ManifestNotPutBackFailsTheJar) {
    const std::string deep = Program() + std::string(120, 'd') + "/" + std::string(120, 'e') + "/";
    MakeZipJar(In("a.jar"), SimpleManifest("Alpha"), {{"icon.png", TinyPng()}});
    for (const int answer : {platform::mrAbort, platform::mrIgnore}) {
        SCOPED_TRACE(answer);
        dialogs.answers = {answer};
        dialogs.questions.clear();
        output.log.clear();
        options.list = {In("a.jar")};
        midlet::RunContext run{options, state, output, zip, deep};
        try {
            midlet::RunBatch(run);
            ADD_FAILURE() << "the run did not fail";
        } catch (const midlet::JarFailure& failure) {
            if (answer == platform::mrAbort) {
                EXPECT_NE(std::string(failure.what()).find("Native error: 00061"),
                          std::string::npos)
                    << failure.what();
            } else {
                EXPECT_EQ(failure.what(), kNotPutBack);
            }
            EXPECT_EQ(failure.Jar, In("a.jar"));
        }
        EXPECT_EQ(dialogs.questions.size(), 1u);
        EXPECT_TRUE(output.log.empty());
        EXPECT_EQ(FolderNames(deep + "projects"), Lines{});
        EXPECT_EQ(FolderNames(deep + "temp"), Lines{".workspace-lock"});
    }
}

// A manifest stored under a backslash name is the entry extracted, put back
// and checked: the JAR's manifest and the JAD agree.
TEST_F(PrepareSoundness, ManifestStoredWithABackslash) {
    MakePythonJar(In("bs.jar"), {{"META-INF\\MANIFEST.MF", SimpleManifest("Slash")},
                                 {"icon.png", TinyPng()},
                                 {"t/Main.class", ClassBytes("t")}});
    Run({In("bs.jar")});
    EXPECT_EQ(output.log, (Lines{"Slash.jad generated!", "Slash.ids generated!"}));
    const std::string jar = Projects("Slash/Slash.jar");
    const std::string manifest =
        EntryBytes(jar, "META-INF/MANIFEST.MF") + EntryBytes(jar, "META-INF\\\\MANIFEST.MF");
    EXPECT_TRUE(Contains(manifest, "MIDlet-1: Slash, icon.png,  t.Main\r\n"));
    EXPECT_TRUE(Contains(Jad("Slash"), manifest));
    EXPECT_TRUE(ArchiveIsSound(jar));
}

// A JAR without a MIDlet-Name line fails on its own: it neither borrows the
// name of the JAR before it nor is reported as that JAR's project.
TEST_F(PrepareSoundness, NoNameNeverBorrowsTheLastOne) {
    MakeZipJar(In("a.jar"), SimpleManifest("Alpha"), {{"icon.png", TinyPng()}});
    MakeZipJar(In("anon.jar"), "MIDlet-1: X, /x.png, x.X\r\n");
    MakeZipJar(In("b.jar"), SimpleManifest("Beta"), {{"icon.png", TinyPng()}});
    std::vector<midlet::JarFailure> failures;
    options.list = {In("a.jar"), In("anon.jar"), In("b.jar")};
    midlet::RunContext run{options, state, output, zip, Program()};
    run.onJarFailure = [&](const midlet::JarFailure& failure) { failures.push_back(failure); };
    const midlet::BatchTally tally = midlet::RunBatch(run);
    EXPECT_EQ(output.log, (Lines{"Alpha.jad generated!", "Alpha.ids generated!",
                                 "Beta.jad generated!", "Beta.ids generated!"}));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].Jar, In("anon.jar"));
    EXPECT_EQ(midlet::ExceptionBoxText(failures[0].what()),
              "MIDlet-Name not found in the manifest.");
    EXPECT_EQ(tally.prepared, 2);
    EXPECT_EQ(tally.failed, 1);
    EXPECT_EQ(output.progress, 6);
    EXPECT_EQ(FolderNames(Projects()), (Lines{"Alpha.ids", "Alpha/", "Beta.ids", "Beta/"}));
    EXPECT_TRUE(TempLeftovers().empty());
}

// A JAR that failed leaves no working JAR: once it is mended, the next run
// prepares it instead of skipping it.
TEST_F(PrepareSoundness, FailedJarIsTriedAgainByTheNextRun) {
    WriteBytes(In("late.jar"), "not yet an archive");
    EXPECT_TRUE(Contains(RunFailing({In("late.jar")}), "Invalid archive file."));
    EXPECT_TRUE(TempLeftovers().empty());
    MakeZipJar(In("late.jar"), SimpleManifest("Late"));
    Run({In("late.jar")});
    EXPECT_EQ(output.log, (Lines{"Late.jad generated!", "Late.ids generated!"}));
}

// An icon path, or a mask, that selects entries named like the project's
// JAR or JAD extracts what it can without touching either.
TEST_F(PrepareSoundness, IconNeverOverwritesTheProjectsFiles) {
    struct Case {
        std::string icon;
        Files extra;
        Lines folder;
    };
    const std::vector<Case> cases = {
        {"Icon.jar", {{"Icon.jar", "bytes of an entry"}}, {"Icon.jad", "Icon.jar"}},
        {"ICON.JAD", {{"icon.jad", "bytes of an entry"}}, {"Icon.jad", "Icon.jar"}},
        {"*",
         {{"Icon.jad", "x"}, {"a.png", TinyPng()}},
         {"Icon.jad", "Icon.jar", "META-INF/", "a.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.icon);
        fs::remove_all(Projects());
        MakeZipJar(In("icon.jar"), "MIDlet-Name: Icon\r\nMIDlet-1: I, " + c.icon + ", c\r\n",
                   c.extra);
        const std::size_t logged = output.log.size();
        Run({In("icon.jar")});
        EXPECT_EQ(output.log[logged], "Icon.jad generated!");
        const std::string jar = Projects("Icon/Icon.jar");
        EXPECT_TRUE(ArchiveIsSound(jar));
        EXPECT_EQ(Jad("Icon"), EntryBytes(jar, "META-INF/MANIFEST.MF") +
                                   "MIDlet-Jar-Size: " + std::to_string(fs::file_size(jar)) +
                                   "\r\nMIDlet-Jar-URL: Icon.jar\r\n");
        EXPECT_EQ(FolderNames(Projects("Icon")), c.folder);
        EXPECT_TRUE(TempLeftovers().empty());
    }
    EXPECT_EQ(ReadBytes(Projects("Icon/a.png")), TinyPng());
}

// An icon whose entry cannot be extracted (its data fails the check) fails
// the JAR whatever the answer to the engine's question: no "generated!",
// nothing in the projects folder, nothing staged left behind.
TEST_F(PrepareSoundness, IconThatCannotBeExtractedFailsTheJar) {
    const std::string jar = In("icon.jar");
    WriteBytes(In("stage/META-INF/MANIFEST.MF"), SimpleManifest("Broken", "/i.png"));
    WriteBytes(In("stage/i.png"), TinyPng());
    ASSERT_EQ(Shell("cd " + Quote(In("stage")) + " && zip -q -X -0 " + Quote(jar) +
                    " META-INF/MANIFEST.MF i.png")
                  .status,
              0);
    std::string bytes = ReadBytes(jar);
    const auto at = bytes.rfind("IEND");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'X';
    WriteBytes(jar, bytes);
    for (const int answer : {platform::mrAbort, platform::mrIgnore}) {
        SCOPED_TRACE(answer);
        dialogs.answers = {answer};
        output.log.clear();
        const std::string message = RunFailing({jar});
        EXPECT_TRUE(Contains(message, "Could not extract the icon for \"" + jar + "\": Zip: "));
        EXPECT_TRUE(output.log.empty());
        EXPECT_TRUE(FolderNames(Projects()).empty());
        EXPECT_TRUE(TempLeftovers().empty());
    }
}

// A manifest that states the JAR's size and place already: the full JAD
// states them once, in its tail, with the final JAR's values.
TEST_F(PrepareSoundness, StaleJarLinesGiveWayToTheTail) {
    MakeZipJar(In("s.jar"),
               "MIDlet-Name: Stale\r\nMIDlet-Jar-Size: 1\r\nMIDlet-Jar-URL: http://x.example/"
               "s.jar\r\nMIDlet-1: S, /i.png, s.S\r\n",
               {{"i.png", TinyPng()}});
    Run({In("s.jar")});
    const std::string jar = Projects("Stale/Stale.jar");
    const std::string manifest = "MIDlet-Name: Stale\r\nMIDlet-1: Stale, i.png,  s.S\r\n";
    EXPECT_EQ(EntryBytes(jar, "META-INF/MANIFEST.MF"), manifest);
    EXPECT_EQ(Jad("Stale"), manifest + "MIDlet-Jar-Size: " + std::to_string(fs::file_size(jar)) +
                                "\r\nMIDlet-Jar-URL: Stale.jar\r\n");
}

// A run finds its workspace held by another and stops before it copies or
// writes anything; once the other is over, the run goes ahead.
TEST_F(PrepareSoundness, WorkspaceHeldByAnotherRun) {
    MakeZipJar(In("a.jar"), SimpleManifest("Alpha"));
    fs::create_directories(Temp());
    {
        const midlet::WorkspaceLock other(Program(), Temp());
        const std::string message = RunFailing({In("a.jar")});
        EXPECT_TRUE(Contains(message, "Another run is using the workspace in \"" + Program()));
        EXPECT_TRUE(TempLeftovers().empty());
        EXPECT_TRUE(FolderNames(Projects()).empty());
    }
    Run({In("a.jar")});
    EXPECT_EQ(output.log, (Lines{"Alpha.jad generated!", "Alpha.ids generated!"}));
}

}  // namespace
}  // namespace preptest
