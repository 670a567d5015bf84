// The window's dialog hook: real Qt boxes with the Windows buttons, answers
// and captions, answered here by pressing their buttons or closing them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/QtDialogs.h"

namespace apptest {
namespace {

// The visible buttons of a box, in their order on screen (left to right).
QStringList ButtonTexts(QMessageBox& box) {
    std::vector<QAbstractButton*> shown;
    for (QAbstractButton* b : box.buttons()) {
        if (!b->isHidden()) {
            shown.push_back(b);
        }
    }
    std::sort(shown.begin(), shown.end(),
              [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
    QStringList texts;
    for (QAbstractButton* b : shown) {
        texts << b->text();
    }
    return texts;
}

QAbstractButton* ButtonNamed(QMessageBox& box, const QString& text) {
    for (QAbstractButton* b : box.buttons()) {
        if (b->text() == text) {
            return b;
        }
    }
    return nullptr;
}

struct Seen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
};

// Answers the next box by pressing the button with `press` as its text, or
// by Escape when `press` is empty, after noting what the box showed.
void AnswerWith(app::QtDialogs& dialogs, Seen& seen, const QString& press) {
    dialogs.beforeShow = [&seen, press](QMessageBox& box) {
        QTimer::singleShot(0, &box, [&box, &seen, press] {
            seen.title = box.windowTitle();
            seen.text = box.text();
            seen.icon = box.icon();
            seen.buttons = ButtonTexts(box);
            seen.defaultButton = box.defaultButton() ? box.defaultButton()->text() : QString();
            if (press.isEmpty()) {
                QTest::keyClick(&box, Qt::Key_Escape);
            } else {
                ButtonNamed(box, press)->click();
            }
        });
    };
}

TEST(QtDialogs, MessageBoxAnswersWithTheWindowsIds) {
    app::QtDialogs dialogs;
    Seen seen;
    AnswerWith(dialogs, seen, "&No");
    EXPECT_EQ(dialogs.MessageBox("Quellor\rver 1", "About",
                                 platform::MB_YESNO | platform::MB_ICONINFORMATION),
              platform::IDNO);
    EXPECT_EQ(seen.title, "About");
    EXPECT_EQ(seen.text, "Quellor\nver 1");
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons, QStringList({"&Yes", "&No"}));

    AnswerWith(dialogs, seen, "&Yes");
    EXPECT_EQ(dialogs.MessageBox("q", "c", platform::MB_YESNO), platform::IDYES);
    AnswerWith(dialogs, seen, "");
    EXPECT_EQ(dialogs.MessageBox("q", "c", platform::MB_YESNO), platform::IDNO);

    AnswerWith(dialogs, seen, "");
    EXPECT_EQ(
        dialogs.MessageBox("File not found.", "Quellor", platform::MB_OK | platform::MB_ICONERROR),
        platform::IDOK);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QStringList({"OK"}));
}

TEST(QtDialogs, MessageDlgOffersItsButtonsInOrderAndClosingIsAnAnswer) {
    app::QtDialogs dialogs;
    Seen seen;
    AnswerWith(dialogs, seen, "&Ignore");
    const auto buttons = platform::mbAbort | platform::mbRetry | platform::mbIgnore;
    EXPECT_EQ(dialogs.MessageDlg("Disk full. File processing error, possibly disk is full",
                                 platform::MsgDlgType::mtConfirmation, buttons, platform::mbRetry),
              platform::mrIgnore);
    EXPECT_EQ(seen.title, "Confirm");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QStringList({"&Abort", "&Retry", "&Ignore"}));
    EXPECT_EQ(seen.defaultButton, "&Retry");

    AnswerWith(dialogs, seen, "");
    EXPECT_EQ(
        dialogs.MessageDlg("x", platform::MsgDlgType::mtConfirmation, buttons, platform::mbRetry),
        platform::mrClose);

    AnswerWith(dialogs, seen, "Yes to &All");
    const auto overwrite =
        platform::mbYes | platform::mbNo | platform::mbNoToAll | platform::mbYesToAll;
    EXPECT_EQ(dialogs.MessageDlg("Overwrite file", platform::MsgDlgType::mtConfirmation, overwrite,
                                 platform::mbYes),
              platform::mrYesToAll);
    EXPECT_EQ(seen.buttons, QStringList({"&Yes", "&No", "N&o to All", "Yes to &All"}));
}

}  // namespace
}  // namespace apptest
