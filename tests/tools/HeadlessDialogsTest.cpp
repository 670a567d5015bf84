// The dialog hook of the headless tools: answers by policy, never loops on
// retry, and prints every question.
#include <gtest/gtest.h>

#include <sstream>

#include "HeadlessDialogs.h"
#include "archive/ZipArchiver.h"

namespace tools {
namespace {

using namespace platform;

constexpr MsgDlgButtons kAbortRetryIgnore = mbAbort | mbRetry | mbIgnore;

TEST(FailurePolicyTest, ParsesTheThreeNames) {
    FailurePolicy policy = FailurePolicy::Ignore;
    EXPECT_TRUE(ParseFailurePolicy("abort", policy));
    EXPECT_EQ(policy, FailurePolicy::Abort);
    EXPECT_TRUE(ParseFailurePolicy("retry-once", policy));
    EXPECT_EQ(policy, FailurePolicy::RetryOnce);
    EXPECT_TRUE(ParseFailurePolicy("ignore", policy));
    EXPECT_EQ(policy, FailurePolicy::Ignore);
    for (const char* bad : {"", "Abort", "retry", "retry-once ", "skip"}) {
        EXPECT_FALSE(ParseFailurePolicy(bad, policy)) << bad;
    }
    EXPECT_EQ(policy, FailurePolicy::Ignore);
}

TEST(HeadlessDialogsTest, AnswersByPolicyAndPrintsTheQuestion) {
    std::ostringstream err, out;
    HeadlessDialogs abort(FailurePolicy::Abort, err, out);
    HeadlessDialogs ignore(FailurePolicy::Ignore, err, out);
    EXPECT_EQ(abort.MessageDlg("q1", MsgDlgType::mtConfirmation, kAbortRetryIgnore, mbRetry),
              mrAbort);
    EXPECT_EQ(ignore.MessageDlg("q2", MsgDlgType::mtConfirmation, kAbortRetryIgnore, mbRetry),
              mrIgnore);
    EXPECT_EQ(err.str(), "failure: q1\nfailure: q2\n");
    EXPECT_EQ(out.str(), "");
}

TEST(HeadlessDialogsTest, RetriesOnceThenAbortsTheSameQuestion) {
    std::ostringstream err, out;
    HeadlessDialogs dialogs(FailurePolicy::RetryOnce, err, out);
    auto ask = [&](const std::string& text) {
        return dialogs.MessageDlg(text, MsgDlgType::mtConfirmation, kAbortRetryIgnore, mbRetry);
    };
    EXPECT_EQ(ask("a"), mrRetry);
    EXPECT_EQ(ask("a"), mrAbort);
    EXPECT_EQ(ask("a"), mrAbort);
    EXPECT_EQ(ask("b"), mrRetry);
    EXPECT_EQ(ask("a"), mrRetry);  // not right after its last asking
}

TEST(HeadlessDialogsTest, FallsBackToAbortThenToTheDefaultButton) {
    std::ostringstream err, out;
    HeadlessDialogs ignore(FailurePolicy::Ignore, err, out);
    HeadlessDialogs retry(FailurePolicy::RetryOnce, err, out);
    // The name-too-long question has no Retry.
    EXPECT_EQ(retry.MessageDlg("long", MsgDlgType::mtConfirmation, mbAbort | mbIgnore,
                               static_cast<MsgDlgBtn>(0)),
              mrAbort);
    EXPECT_EQ(ignore.MessageDlg("x", MsgDlgType::mtConfirmation, mbAbort | mbRetry, mbRetry),
              mrAbort);
    // Overwrite questions offer no Abort: the default button answers.
    const MsgDlgButtons yesNo = mbYes | mbNo | mbNoToAll | mbYesToAll;
    EXPECT_EQ(ignore.MessageDlg("overwrite?", MsgDlgType::mtConfirmation, yesNo, mbYes), mrYes);
    EXPECT_EQ(retry.MessageDlg("overwrite?", MsgDlgType::mtConfirmation, yesNo, mbNo), mrNo);
    EXPECT_EQ(
        retry.MessageDlg("?", MsgDlgType::mtConfirmation, mbYes | mbNo, static_cast<MsgDlgBtn>(0)),
        mrClose);
}

TEST(HeadlessDialogsTest, MessageBoxAndShellOpenPrint) {
    std::ostringstream err, out;
    HeadlessDialogs dialogs(FailurePolicy::Abort, err, out);
    EXPECT_EQ(dialogs.MessageBox("Disk full.", "Quellor", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(dialogs.MessageBox("Sure?", "Quellor", MB_YESNO), IDYES);
    EXPECT_TRUE(dialogs.ShellOpen("/tmp/projects/"));
    EXPECT_EQ(err.str(), "Quellor: Disk full.\nQuellor: Sure?\n");
    EXPECT_EQ(out.str(), "/tmp/projects/\n");
}

TEST(HeadlessDialogsTest, DecidesTheEnginesFailuresWithoutLooping) {
    std::ostringstream err, out;
    HeadlessDialogs dialogs(FailurePolicy::RetryOnce, err, out);
    DialogsGuard guard(dialogs);
    archive::TZipArchiver zip("Zip");
    const archive::EZipException e(8, &zip);
    archive::TZipAction action = archive::fxaIgnore;
    zip.DoProcessFileFailure("a", archive::poExtract, e.NativeError, e.ErrorCode, e.what(), action);
    EXPECT_EQ(action, archive::fxaRetry);
    zip.DoProcessFileFailure("a", archive::poExtract, e.NativeError, e.ErrorCode, e.what(), action);
    EXPECT_EQ(action, archive::fxaAbort);
    const std::string question =
        "failure: an entry is damaged: its data does not match its size or CRC-32, or it is "
        "compressed by a method other than stored or deflated.\n";
    EXPECT_EQ(err.str(), question + question);
}

}  // namespace
}  // namespace tools
