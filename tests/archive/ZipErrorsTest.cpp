// The engine's exception messages and the default failure decision.
#include <gtest/gtest.h>

#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "archive/ZipExcept.h"
#include "platform/Dialogs.h"

namespace archive {
namespace {

TEST(ZipExceptionTest, ComposesNamePrefixTextAndPaddedCode) {
    TZipArchiver zip("Zip");
    const EZipException e(native::ReadOnlyArchive, &zip);
    EXPECT_STREQ(e.what(), "Zip: File is open in read-only mode - Native error: 00032");
    EXPECT_EQ(e.NativeError, 32);
    EXPECT_EQ(e.ErrorCode, 16);

    TZipArchiver unnamed;
    EXPECT_STREQ(EZipException(13, &unnamed).what(), "Archive is not open - Native error: 00013");
    EXPECT_STREQ(EZipException(35, nullptr).what(), "Invalid archive file. - Native error: 00035");
}

TEST(ZipExceptionTest, CodesOutsideTheTableAreUnknownButKeepTheirNumber) {
    const EZipException e(99, nullptr);
    EXPECT_STREQ(e.what(), "Unknown error - Native error: 00099");
    EXPECT_EQ(e.ErrorCode, 0);
    EXPECT_EQ(e.NativeError, 99);
    EXPECT_STREQ(EZipException(-1, nullptr).what(), "Unknown error - Native error: 000-1");
    EXPECT_STREQ(EZipException(123456, nullptr).what(), "Unknown error - Native error: 123456");
}

TEST(ZipExceptionTest, CodesSharingATextMapToTheSameIndex) {
    // A few codes from every group of the table, and its two ends.
    const std::pair<int, int> pairs[] = {
        {0, 0},   {1, 1},   {7, 1},   {16, 1},  {24, 1},  {9, 5},   {29, 5},  {11, 6},  {54, 6},
        {19, 9},  {23, 9},  {22, 11}, {25, 11}, {26, 13}, {27, 14}, {36, 19}, {41, 23}, {43, 23},
        {44, 24}, {45, 24}, {48, 27}, {57, 27}, {58, 34}, {59, 34}, {62, 37}};
    for (const auto& [code, index] : pairs) {
        EXPECT_EQ(ZipErrorCodeOf(code), index) << "code " << code;
    }
}

TEST(ZipExceptionTest, PlaceholdersAreFilledInOrder) {
    TZipArchiver zip("Zip");
    EXPECT_STREQ(EZipException(12, &zip, {std::string("/x/a.jar")}).what(),
                 "Zip: File \"/x/a.jar\" not found - Native error: 00012");
    EXPECT_STREQ(EZipException(34, nullptr, {std::int64_t{5000000000}, std::int64_t{7}}).what(),
                 "Invalid compressed size, rfs.size = 5000000000, count = 7 - Native error: 00034");
    EXPECT_STREQ(EZipException(61, nullptr, {std::string("/long")}).what(),
                 "File name is too long: \r\n\"/long\" - Native error: 00061");
    // Message 23 takes the source path for both of its codes.
    EXPECT_STREQ(EZipException(43, nullptr, {std::string("s.bin")}).what(),
                 "Cannot compress file 's.bin'. Zip64 mode is not enabled - Native error: 00043");
    // The first constructor leaves placeholders as they stand.
    EXPECT_STREQ(EZipException(19, nullptr).what(),
                 "Cannot create file \"%s\" - Native error: 00019");
}

class FailureDecisionTest : public ::testing::Test {
  protected:
    TZipAction Decide(int nativeError, const std::string& message = "M") {
        TZipAction action = fxaRetry;
        zip.DoProcessFileFailure("a.txt", poExtract, nativeError, ZipErrorCodeOf(nativeError),
                                 message, action);
        return action;
    }
    TZipArchiver zip{"Zip"};
    platform::ScriptedDialogs dialogs;
    platform::DialogsGuard guard{dialogs};
};

TEST_F(FailureDecisionTest, AsksAbortRetryIgnoreWithRetryAsDefault) {
    dialogs.answers = {platform::mrRetry, platform::mrIgnore, platform::mrAbort, platform::mrClose};
    EXPECT_EQ(Decide(8, "Zip: bad - Native error: 00008"), fxaRetry);
    EXPECT_EQ(Decide(8), fxaIgnore);
    EXPECT_EQ(Decide(8), fxaAbort);
    EXPECT_EQ(Decide(8), fxaAbort);  // closing the dialog
    ASSERT_EQ(dialogs.questions.size(), 4u);
    const auto& q = dialogs.questions[0];
    EXPECT_EQ(q.kind, platform::ScriptedDialogs::Question::Kind::MessageDlg);
    EXPECT_EQ(q.text,
              "Zip: bad - Native error: 00008. File processing error, possibly disk is full");
    EXPECT_EQ(q.flags, platform::mbAbort | platform::mbRetry | platform::mbIgnore);
    EXPECT_EQ(q.defaultButton, platform::mbRetry);
    EXPECT_EQ(q.dlgType, platform::MsgDlgType::mtConfirmation);
}

TEST_F(FailureDecisionTest, NameTooLongAsksAbortOrIgnoreWithTheMessageAlone) {
    dialogs.answers = {platform::mrIgnore};
    EXPECT_EQ(Decide(61, "too long"), fxaIgnore);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "too long");
    EXPECT_EQ(dialogs.questions[0].flags, platform::mbAbort | platform::mbIgnore);
}

TEST_F(FailureDecisionTest, OpenAbortedNeverAsks) {
    EXPECT_EQ(Decide(45), fxaAbort);
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(FailureDecisionTest, AHandlerDecidesAlone) {
    int calls = 0;
    zip.OnProcessFileFailure = [&](TZipBaseArchiver& sender, const std::string& file,
                                   TZipProcessOperation op, int nativeError, int errorCode,
                                   const std::string& message, TZipAction& action) {
        ++calls;
        EXPECT_EQ(&sender, &zip);
        EXPECT_EQ(file, "a.txt");
        EXPECT_EQ(op, poExtract);
        EXPECT_EQ(nativeError, 45);
        EXPECT_EQ(errorCode, 24);
        EXPECT_EQ(message, "M");
        EXPECT_EQ(action, fxaIgnore);  // preset
        action = fxaRetry;
    };
    EXPECT_EQ(Decide(45), fxaRetry);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(FailureDecisionTest, OverwriteQuestionAndItsToAllAnswers) {
    dialogs.answers = {platform::mrNoToAll, platform::mrYesToAll, platform::mrClose};
    std::string target = "/out/a.txt";
    bool confirm = true;
    zip.Options.OverwriteMode = omPrompt;
    zip.DoConfirmOverwrite("a.txt", target, confirm);
    EXPECT_FALSE(confirm);
    EXPECT_EQ(zip.Options.OverwriteMode, omNever);
    zip.DoConfirmOverwrite("a.txt", target, confirm);
    EXPECT_TRUE(confirm);
    EXPECT_EQ(zip.Options.OverwriteMode, omAlways);
    zip.DoConfirmOverwrite("a.txt", target, confirm);
    EXPECT_FALSE(confirm);  // closing the dialog declines
    ASSERT_EQ(dialogs.questions.size(), 3u);
    EXPECT_EQ(dialogs.questions[0].text, "Overwrite file \"/out/a.txt\" with \"a.txt\"");
    EXPECT_EQ(dialogs.questions[0].flags,
              platform::mbYes | platform::mbNo | platform::mbNoToAll | platform::mbYesToAll);
}

}  // namespace
}  // namespace archive
