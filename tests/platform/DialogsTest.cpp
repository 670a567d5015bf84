#include "platform/Dialogs.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(DialogHook, WithoutAHookEveryQuestionGetsItsDefault) {
    EXPECT_EQ(Dialogs().MessageBox("About", "Quellor", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(Dialogs().MessageBox("Go on?", "Quellor", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(
        Dialogs().MessageDlg("Retry?", MsgDlgType::mtError, mbAbort | mbRetry | mbIgnore, mbRetry),
        mrAbort);
    EXPECT_EQ(Dialogs().MessageDlg("Overwrite?", MsgDlgType::mtConfirmation,
                                   mbYes | mbNo | mbYesToAll | mbNoToAll, mbNo),
              mrNo);
    EXPECT_FALSE(Dialogs().ShellOpen("/tmp/help.html"));
}

TEST(DialogHook, AScriptRecordsQuestionsAndAnswersInOrder) {
    ScriptedDialogs script;
    script.answers = {IDNO, mrIgnore};
    script.fallback = mrYesToAll;
    {
        DialogsGuard guard(script);
        EXPECT_EQ(Dialogs().MessageBox("Q1", "Quellor", MB_YESNO), IDNO);
        EXPECT_EQ(Dialogs().MessageDlg("Q2", MsgDlgType::mtWarning, mbAbort | mbIgnore, mbIgnore),
                  mrIgnore);
        EXPECT_EQ(Dialogs().MessageDlg("Q3", MsgDlgType::mtConfirmation, mbYes | mbYesToAll, mbYes),
                  mrYesToAll);
        EXPECT_TRUE(Dialogs().ShellOpen("/x/projects/"));
    }
    ASSERT_EQ(script.questions.size(), 4u);
    EXPECT_EQ(script.questions[0].kind, ScriptedDialogs::Question::Kind::MessageBox);
    EXPECT_EQ(script.questions[0].caption, "Quellor");
    EXPECT_EQ(script.questions[0].flags, MB_YESNO);
    EXPECT_EQ(script.questions[1].caption, "Confirm");
    EXPECT_EQ(script.questions[1].flags, mbAbort | mbIgnore);
    EXPECT_EQ(script.questions[1].dlgType, MsgDlgType::mtWarning);
    EXPECT_EQ(script.questions[1].defaultButton, mbIgnore);
    EXPECT_EQ(script.questions[3].kind, ScriptedDialogs::Question::Kind::ShellOpen);
    EXPECT_EQ(script.questions[3].text, "/x/projects/");
    EXPECT_EQ(Dialogs().MessageBox("after", "Quellor", MB_OK), IDOK);  // the guard removed it
    EXPECT_EQ(script.questions.size(), 4u);
}
