// Step 3 runs the preparation over the listed JARs: the log lines, the
// progress bar, a second run, and a failure shown in the exception box.
#include "app/WindowFixture.h"
#include "midlet/PrepareSupport.h"
#include "midlet/WorkspaceLock.h"

namespace apptest {
namespace {

using Lines = std::vector<std::string>;

// The log lines from `from` on.
Lines LogLines(const app::TForm1& f, int from = 0) {
    Lines lines;
    for (int i = from; i < f.out->count(); ++i) {
        lines.push_back(f.out->item(i)->text().toStdString());
    }
    return lines;
}

class RunOutput : public WindowTest {
  protected:
    std::string Jar(const std::string& file, const std::optional<std::string>& manifest) {
        const std::string path = Folder() + "in/" + file;
        preptest::MakeZipJar(path, manifest, {{"icon.png", preptest::TinyPng()}});
        return path;
    }
    std::string Midlet(const std::string& file, const std::string& name) {
        return Jar(file, preptest::SimpleManifest(name));
    }
};

TEST_F(RunOutput, RunsTheListAndASecondRunFindsTheProjects) {
    app::TForm1& f = Form();
    Drop({Midlet("a.jar", "Alpha")});
    Drop({Midlet("b.jar", "Beta Game")});
    Click(f.step2);
    Click(f.step3);

    EXPECT_EQ(ShownPanels(), "3");
    EXPECT_FALSE(f.out->isHidden());
    EXPECT_EQ(LogLines(f), (Lines{"Alpha.jad generated!", "Alpha.ids generated!",
                                  "BetaGame.jad generated!", "BetaGame.ids generated!"}));
    EXPECT_EQ(f.pro->Max(), 6);
    EXPECT_EQ(f.pro->Position(), 6);
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(Folder() + "projects/Alpha/Alpha.jar")));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(Folder() + "projects/BetaGame/icon.png")));

    Click(f.step3);
    EXPECT_EQ(LogLines(f, 4),
              (Lines{"Alpha.jad is already generated!", "Alpha.ids generated!",
                     "BetaGame.jad is already generated!", "BetaGame.ids generated!"}));
    EXPECT_EQ(f.pro->Position(), 6);  // held at the maximum
    Click(f.pro);
    EXPECT_EQ(ShownPanels(), "4");
    EXPECT_EQ(f.s_jar->Caption(), "2");
    EXPECT_EQ(f.s_jad->Caption(), "2");
    EXPECT_EQ(f.s_ids->Caption(), "4");
}

TEST_F(RunOutput, AFailingJarEndsTheRunInTheExceptionBox) {
    app::TForm1& f = Form();
    AddThroughDialog(
        {Midlet("a.jar", "Alpha"), Jar("bare.jar", std::nullopt), Midlet("c.jar", "Gamma")});
    Click(f.step2);
    Click(f.ids_gen);  // no IDS files this time
    Click(f.step3);

    ASSERT_EQ(dialogs.questions.size(), 1u);
    const auto& box = dialogs.questions[0];
    EXPECT_EQ(box.text, "File not found.");
    EXPECT_EQ(box.caption, "Quellor");
    EXPECT_EQ(box.flags, platform::MB_OK | platform::MB_ICONERROR);
    EXPECT_EQ(ShownPanels(), "3");
    EXPECT_EQ(LogLines(f), (Lines{"Alpha.jad generated!"}));
    EXPECT_EQ(f.pro->Max(), 9);
    EXPECT_EQ(f.pro->Position(), 3);

    // The user may start again: the failed JAR left nothing behind, so it
    // is tried, and fails, again.
    Click(f.step3);
    EXPECT_EQ(LogLines(f, 1), (Lines{"Alpha.jad is already generated!"}));
    ASSERT_EQ(dialogs.questions.size(), 2u);
    EXPECT_EQ(dialogs.questions[1].text, "File not found.");
}

// A double-click on the step 3 label, the progress bar or the summary acts
// as one click: one run, and the summary shown (or left) once.
TEST_F(RunOutput, DoubleClicksActOnce) {
    app::TForm1& f = Form();
    Drop({Midlet("a.jar", "Alpha")});
    Click(f.step2);
    DoubleClick(f.step3);
    EXPECT_EQ(LogLines(f), (Lines{"Alpha.jad generated!", "Alpha.ids generated!"}));
    EXPECT_EQ(f.pro->Position(), 3);
    EXPECT_TRUE(dialogs.questions.empty());

    DoubleClick(f.pro);
    EXPECT_EQ(ShownPanels(), "4");
    EXPECT_EQ(f.s_jad->Caption(), "1");
    DoubleClick(f.Panel4, QPoint(5, 5));
    EXPECT_EQ(ShownPanels(), "3");
    // A single click still counts.
    Click(f.pro);
    EXPECT_EQ(ShownPanels(), "4");
}

// Another run (quellor-batch, say) holds the workspace: step 3 says so in
// the exception box and prepares nothing; once it is over, step 3 runs.
TEST_F(RunOutput, WorkspaceHeldByAnotherRunIsShownInTheBox) {
    app::TForm1& f = Form();
    Drop({Midlet("a.jar", "Alpha")});
    Click(f.step2);
    QDir().mkpath(QString::fromStdString(Folder() + "temp"));
    {
        const midlet::WorkspaceLock other(Folder(), Folder() + "temp/");
        Click(f.step3);
    }
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "Another run is using the workspace in \"" + Folder() +
                                             "\"; try again when it has ended.");
    EXPECT_TRUE(LogLines(f).empty());
    Click(f.step3);
    EXPECT_EQ(LogLines(f), (Lines{"Alpha.jad generated!", "Alpha.ids generated!"}));
}

}  // namespace
}  // namespace apptest
