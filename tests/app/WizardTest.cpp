// The wizard: the step panels and their enabling rules, step 3 with the
// settings it saves, the summary and its link, the hover effects, the About
// box and the exception box.
#include "app/ExceptionBox.h"
#include "app/WindowFixture.h"

namespace apptest {
namespace {

const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 128, 0);
const QColor kBlack(0, 0, 0);

TEST_F(WindowTest, StepTwoAlwaysSelectsTheFullJad) {
    app::TForm1& f = Form();
    Click(f.step2);  // disabled: nothing happens
    EXPECT_EQ(ShownPanels(), "1");
    EXPECT_EQ(f.jad_gen->ItemIndex(), -1);
    Drop({MakeFile("a.jar")});
    Click(f.step2);
    EXPECT_EQ(ShownPanels(), "2");
    EXPECT_EQ(f.jad_gen->ItemIndex(), 0);
    EXPECT_TRUE(f.step3->isEnabled());
    Click(f.jad_gen->Button(1));
    EXPECT_EQ(f.jad_gen->ItemIndex(), 1);
    Click(f.step1);
    EXPECT_EQ(ShownPanels(), "1");
    Click(f.step2);
    EXPECT_EQ(f.jad_gen->ItemIndex(), 0);
    EXPECT_TRUE(f.jad_gen->Button(0)->isChecked());
}

TEST_F(WindowTest, IdsCheckBoxEnablesItsGroup) {
    app::TForm1& f = Form();
    f.step2Click();
    EXPECT_TRUE(f.gen_ids_s->isEnabled());
    Click(f.ids_gen);
    EXPECT_FALSE(f.ids_gen->isChecked());
    EXPECT_FALSE(f.gen_ids_s->isEnabled());
    EXPECT_FALSE(f.app_path->isEnabled());
    EXPECT_FALSE(f.jtype->isEnabled());
    Click(f.ids_gen);
    EXPECT_TRUE(f.jtype->isEnabled());
}

TEST_F(WindowTest, StepThreeSavesTheSettingsAndSetsTheProgress) {
    app::TForm1& f = Form();
    ChooseLanguage(1);
    AddThroughDialog({MakeFile("games/a.jar"), MakeFile("games/b.jar")});
    Click(f.step2);
    Click(f.ico_gen);
    Click(f.jtype->Button(1));
    f.app_path->clear();
    QTest::keyClicks(f.app_path, "fs:/card1/Apps/");
    Click(f.step3);
    EXPECT_EQ(ShownPanels(), "3");
    EXPECT_EQ(ReadFile(SettingsFile()),
              "[Main]\r\nLanguage=1\r\nPath=" + Folder() +
                  "games/\r\n[Java]\r\nApps=fs:/card1/Apps/\r\nGame=fs:/card0/Games/\r\n"
                  "Type=1\r\nIds=1\r\nIcon=0\r\n");
    EXPECT_EQ(f.pro->Max(), 6);
    // The listed files are no archives: the run ends at the first of them.
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].caption, "Quellor");
}

TEST_F(WindowTest, SettingsOfAStartAreAppliedToTheControls) {
    WriteSettings(
        "[main]\r\nLanguage=0x2\r\npath=/cards/\r\n[Java]\r\nApps=fs:/a/\r\nGame=\r\n"
        "Type=$1\r\nIds=0\r\nIcon=yes\r\n");
    app::TForm1& f = Form();
    EXPECT_EQ(f.lang->currentIndex(), 2);
    EXPECT_EQ(f.step1->Caption(), Q("1. Додати"));
    EXPECT_EQ(Opa().InitialDir, "/cards/");
    EXPECT_EQ(f.app_path->text(), "fs:/a/");
    EXPECT_EQ(f.game_path->text(), "");
    EXPECT_EQ(f.jtype->ItemIndex(), 1);
    EXPECT_TRUE(f.jtype->Button(1)->isChecked());
    EXPECT_FALSE(f.ids_gen->isChecked());
    EXPECT_FALSE(f.gen_ids_s->isEnabled());
    EXPECT_TRUE(f.ico_gen->isChecked());
}

TEST_F(WindowTest, OnlyStepThreeWritesTheSettings) {
    WriteSettings("[Main]\r\nLanguage=abc\r\n");
    app::TForm1& f = Form();
    EXPECT_EQ(f.lang->currentIndex(), 0);
    ChooseLanguage(2);
    Drop({MakeFile("a.jar")});
    Click(f.step2);
    EXPECT_EQ(ReadFile(SettingsFile()), "[Main]\r\nLanguage=abc\r\n");
    // Files that were only dropped leave the dialog's folder empty.
    Click(f.step3);
    EXPECT_EQ(ReadFile(SettingsFile()),
              "[Main]\r\nLanguage=2\r\nPath=\r\n[Java]\r\nApps=fs:/card0/Applications/\r\n"
              "Game=fs:/card0/Games/\r\nType=0\r\nIds=1\r\nIcon=1\r\n");
}

TEST_F(WindowTest, ProgressKeepsItsPositionAcrossRuns) {
    app::TForm1& f = Form();
    AddThroughDialog({MakeFile("a.jar"), MakeFile("b.jar"), MakeFile("c.jar")});
    f.step2Click();
    Click(f.step3);
    EXPECT_EQ(f.pro->Max(), 9);
    f.AdvanceProgress(2);
    f.AdvanceProgress(1);
    f.AdvanceProgress(2);
    Click(f.step3);
    EXPECT_EQ(f.pro->Max(), 9);
    EXPECT_EQ(f.pro->Position(), 5);
    // A shorter list: the bar holds at its new maximum.
    Click(f.step1);
    ClickItem(f.list, 0);
    ClickItem(f.list, 1, Qt::ControlModifier);
    Click(f.dell);
    Click(f.step3);
    EXPECT_EQ(f.pro->Max(), 3);
    EXPECT_EQ(f.pro->Position(), 3);
    f.AdvanceProgress(2);
    EXPECT_EQ(f.pro->Position(), 3);
    // An empty list: a maximum of 0 and an empty bar, not a busy one.
    Click(f.step1);
    ClickItem(f.list, 0);
    Click(f.dell);
    Click(f.step3);
    EXPECT_EQ(f.pro->Max(), 0);
    EXPECT_EQ(f.pro->Position(), 0);
    EXPECT_GT(f.pro->maximum(), f.pro->minimum());
}

TEST_F(WindowTest, ProgressBarOpensTheSummaryAndTheSummaryGoesBack) {
    app::TForm1& f = Form();
    ChooseLanguage(1);
    Drop({MakeFile("a.jar")});
    Drop({MakeFile("b.jar")});
    f.State.jadCount = 5;
    f.State.idsCount = 4;
    f.step2Click();
    Click(f.step3);
    f.AppendLog("a.jad generated!");
    EXPECT_EQ(f.out->item(0)->text(), "a.jad generated!");
    Click(f.pro);
    EXPECT_EQ(ShownPanels(), "4");
    EXPECT_EQ(f.s_jar->Caption(), "2");
    EXPECT_EQ(f.s_jad->Caption(), "5");
    EXPECT_EQ(f.s_ids->Caption(), "4");
    EXPECT_EQ(f.s1->Caption(), "JAR added");
    Click(f.Panel4, {}, QPoint(5, 5));
    EXPECT_EQ(ShownPanels(), "3");
    f.logClick();
    EXPECT_EQ(ShownPanels(), "4");
    Click(f.s2);  // the summary's texts pass the click to the panel
    EXPECT_EQ(ShownPanels(), "3");
}

TEST_F(WindowTest, SummaryLinkOpensTheProjectsFolder) {
    app::TForm1& f = Form();
    f.step4Click();
    QTest::mouseMove(&f, f.goto_pro->mapTo(&f, QPoint(120, 10)));
    EXPECT_TRUE(f.goto_pro->font().underline());
    EXPECT_EQ(f.goto_pro->Color(), kGreen);
    QTest::mouseMove(&f, QPoint(300, 20));
    EXPECT_FALSE(f.goto_pro->font().underline());
    EXPECT_EQ(f.goto_pro->Color(), kBlack);
    Click(f.goto_pro);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].kind, platform::ScriptedDialogs::Question::Kind::ShellOpen);
    EXPECT_EQ(dialogs.questions[0].text, Folder() + "projects");
}

TEST_F(WindowTest, HoverHighlightsStayUntilThePointerCrossesTheBareShape) {
    app::TForm1& f = Form();
    Drop({MakeFile("a.jar")});
    QTest::mouseMove(&f, f.step1->geometry().center());
    EXPECT_TRUE(f.step1->font().bold());
    EXPECT_EQ(f.step1->Color(), kBlue);
    EXPECT_EQ(f.step1->size(), f.step1->sizeHint());
    QTest::mouseMove(&f, f.step2->geometry().center());
    EXPECT_TRUE(f.step2->font().bold());
    QTest::mouseMove(&f, f.Label3->geometry().center());
    EXPECT_EQ(f.Label3->Color(), kGreen);
    EXPECT_FALSE(f.Label3->font().underline());
    // Moving on elsewhere keeps every highlight.
    QTest::mouseMove(&f, QPoint(400, 200));
    EXPECT_TRUE(f.step1->font().bold());
    EXPECT_EQ(f.step2->Color(), kBlue);
    EXPECT_EQ(f.Label3->Color(), kGreen);
    // The bare shape clears them all.
    QTest::mouseMove(&f, QPoint(100, 250));
    for (app::Label* step : {f.step1, f.step2, f.step3}) {
        EXPECT_FALSE(step->font().bold());
        EXPECT_EQ(step->Color(), kBlack);
    }
    EXPECT_EQ(f.Label3->Color(), kBlack);
    // A disabled step lets the pointer through to the shape below it.
    QTest::mouseMove(&f, f.step1->geometry().center());
    QTest::mouseMove(&f, f.step3->geometry().center());
    EXPECT_FALSE(f.step3->font().bold());
    EXPECT_FALSE(f.step1->font().bold());
}

TEST_F(WindowTest, AboutBoxAsksBeforeOpeningTheHelpPage) {
    app::TForm1& f = Form();
    dialogs.answers = {platform::IDNO, platform::IDYES};
    Click(f.Label3);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    const auto& about = dialogs.questions[0];
    EXPECT_EQ(about.caption, "About");
    EXPECT_EQ(about.flags, 68u);
    const QStringList lines = QString::fromStdString(about.text).split('\r');
    ASSERT_EQ(lines.size(), 16);
    EXPECT_FALSE(about.text.find('\n') != std::string::npos);
    EXPECT_EQ(lines[0], "Quellor");
    EXPECT_EQ(lines[1], "ver 1.6 build 18/8/2007");
    EXPECT_EQ(lines[3], "Programmer ");
    EXPECT_EQ(lines[6], "Tester");
    EXPECT_EQ(lines[9], "Links:");
    EXPECT_TRUE(lines[10].startsWith(Q("· ")));
    EXPECT_TRUE(lines[11].startsWith(Q("· ")) && lines[11].endsWith(' '));
    EXPECT_EQ(lines[15], Q("Хотите просмотреть файл помощи ?"));
    for (int empty : {2, 5, 8, 12, 14}) {
        EXPECT_EQ(lines[empty], "");
    }
    Click(f.Label3);
    ASSERT_EQ(dialogs.questions.size(), 3u);
    EXPECT_EQ(dialogs.questions[2].kind, platform::ScriptedDialogs::Question::Kind::ShellOpen);
    EXPECT_EQ(dialogs.questions[2].text, Folder() + "help.html");
}

TEST(ExceptionBox, AddsAFullStopAfterALaterCharacter) {
    EXPECT_EQ(app::ExceptionBoxText("File not found"), "File not found.");
    EXPECT_EQ(app::ExceptionBoxText("Done."), "Done.");
    EXPECT_EQ(app::ExceptionBoxText(""), "");
    EXPECT_EQ(app::ExceptionBoxText("Failed!"), "Failed!");
    EXPECT_EQ(app::ExceptionBoxText("(code 5)"), "(code 5)");
    EXPECT_EQ(app::ExceptionBoxText("I/O error 183"), "I/O error 183.");
    EXPECT_EQ(app::ExceptionBoxText("path/"), "path/.");
    EXPECT_EQ(app::ExceptionBoxText("Ошибка"), "Ошибка.");
}

TEST_F(WindowTest, FailingHandlerShowsTheExceptionBoxAndTheWindowGoesOn) {
    platform::SetProgramFolder(Folder() + "missing/");
    app::TForm1& f = Form();
    Drop({MakeFile("a.jar")});
    Click(f.step2);
    Click(f.step3);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    const auto& box = dialogs.questions[0];
    EXPECT_EQ(box.kind, platform::ScriptedDialogs::Question::Kind::MessageBox);
    EXPECT_EQ(box.text, "Unable to write to " + Folder() + "missing/Brannoc.cfg.");
    EXPECT_EQ(box.caption, "Quellor");
    EXPECT_EQ(box.flags, platform::MB_OK | platform::MB_ICONERROR);
    // The handler ended before the panels switched; the window goes on.
    EXPECT_EQ(ShownPanels(), "2");
    Click(f.step1);
    EXPECT_EQ(ShownPanels(), "1");
}

}  // namespace
}  // namespace apptest
