#include "app/QtDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QPushButton>
#include <QUrl>
#include <utility>
#include <vector>

#include "app/AnsiText.h"

namespace app {

namespace {

using platform::MsgDlgBtn;

// A message box that can always be closed, by its close box or by Escape,
// without pressing any of its buttons: closing is an answer of its own.
class ClosableBox : public QMessageBox {
  protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        reject();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Cancel)) {
            reject();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
};

QMessageBox::Icon IconOfFlags(unsigned flags) {
    switch (flags & 0xF0u) {
        case platform::MB_ICONERROR:
            return QMessageBox::Critical;
        case platform::MB_ICONQUESTION:
            return QMessageBox::Question;
        case platform::MB_ICONWARNING:
            return QMessageBox::Warning;
        case platform::MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// The buttons of a message box type, in their order, with their IDs.
std::vector<std::pair<QMessageBox::StandardButton, int>> ButtonsOfFlags(unsigned flags) {
    using B = QMessageBox;
    switch (flags & 0x0Fu) {
        case platform::MB_OKCANCEL:
            return {{B::Ok, platform::IDOK}, {B::Cancel, platform::IDCANCEL}};
        case platform::MB_ABORTRETRYIGNORE:
            return {{B::Abort, platform::IDABORT},
                    {B::Retry, platform::IDRETRY},
                    {B::Ignore, platform::IDIGNORE}};
        case platform::MB_YESNOCANCEL:
            return {{B::Yes, platform::IDYES},
                    {B::No, platform::IDNO},
                    {B::Cancel, platform::IDCANCEL}};
        case platform::MB_YESNO:
            return {{B::Yes, platform::IDYES}, {B::No, platform::IDNO}};
        case platform::MB_RETRYCANCEL:
            return {{B::Retry, platform::IDRETRY}, {B::Cancel, platform::IDCANCEL}};
        default:
            return {{B::Ok, platform::IDOK}};
    }
}

int AnswerOnClose(unsigned flags) {
    switch (flags & 0x0Fu) {
        case platform::MB_OKCANCEL:
        case platform::MB_YESNOCANCEL:
        case platform::MB_RETRYCANCEL:
            return platform::IDCANCEL;
        case platform::MB_ABORTRETRYIGNORE:
            return platform::IDABORT;
        case platform::MB_YESNO:
            return platform::IDNO;
        default:
            return platform::IDOK;
    }
}

QMessageBox::Icon IconOfKind(platform::MsgDlgType kind) {
    switch (kind) {
        case platform::MsgDlgType::mtWarning:
            return QMessageBox::Warning;
        case platform::MsgDlgType::mtError:
            return QMessageBox::Critical;
        case platform::MsgDlgType::mtInformation:
            return QMessageBox::Information;
        case platform::MsgDlgType::mtConfirmation:
            return QMessageBox::Question;
        case platform::MsgDlgType::mtCustom:
            break;
    }
    return QMessageBox::NoIcon;
}

struct DlgButton {
    MsgDlgBtn flag;
    const char* caption;
    int result;
};

constexpr DlgButton kDlgButtons[] = {
    {platform::mbYes, "&Yes", platform::mrYes},
    {platform::mbNo, "&No", platform::mrNo},
    {platform::mbOK, "OK", platform::mrOk},
    {platform::mbCancel, "Cancel", platform::mrCancel},
    {platform::mbAbort, "&Abort", platform::mrAbort},
    {platform::mbRetry, "&Retry", platform::mrRetry},
    {platform::mbIgnore, "&Ignore", platform::mrIgnore},
    {platform::mbAll, "&All", platform::mrAll},
    {platform::mbNoToAll, "N&o to All", platform::mrNoToAll},
    {platform::mbYesToAll, "Yes to &All", platform::mrYesToAll},
    {platform::mbHelp, "&Help", platform::mrNone},
};

void PrepareBox(QMessageBox& box, const std::string& text, const QString& caption,
                QMessageBox::Icon icon) {
    box.setWindowTitle(caption);
    box.setTextFormat(Qt::PlainText);
    box.setText(DisplayText(FromAnsi(text)));
    box.setIcon(icon);
    box.setParent(QApplication::activeWindow(), Qt::Dialog);
    box.setWindowModality(Qt::ApplicationModal);
}

}  // namespace

int QtDialogs::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    ClosableBox box;
    PrepareBox(box, text, FromAnsi(caption), IconOfFlags(flags));
    std::vector<std::pair<QAbstractButton*, int>> answers;
    for (const auto& [standard, id] : ButtonsOfFlags(flags)) {
        answers.emplace_back(box.addButton(standard), id);
    }
    box.setDefaultButton(static_cast<QPushButton*>(answers.front().first));
    if (beforeShow) {
        beforeShow(box);
    }
    box.exec();
    for (const auto& [button, id] : answers) {
        if (box.clickedButton() == button) {
            return id;
        }
    }
    return AnswerOnClose(flags);
}

int QtDialogs::MessageDlg(const std::string& text, platform::MsgDlgType kind,
                          platform::MsgDlgButtons buttons, platform::MsgDlgBtn defaultButton) {
    ClosableBox box;
    PrepareBox(box, text, QStringLiteral("Confirm"), IconOfKind(kind));
    std::vector<std::pair<QAbstractButton*, int>> answers;
    for (const DlgButton& b : kDlgButtons) {
        if ((buttons & b.flag) == 0) {
            continue;
        }
        QPushButton* button =
            box.addButton(QString::fromLatin1(b.caption), QMessageBox::ActionRole);
        answers.emplace_back(button, b.result);
        if (b.flag == defaultButton) {
            box.setDefaultButton(button);
        }
    }
    if (beforeShow) {
        beforeShow(box);
    }
    box.exec();
    for (const auto& [button, result] : answers) {
        if (box.clickedButton() == button) {
            return result;
        }
    }
    return platform::mrClose;
}

bool QtDialogs::ShellOpen(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(FromAnsi(path)));
}

}  // namespace app
