// Dialogs and the shell. The core never shows a window: it asks through one
// process-wide hook that the window, the headless tools or a test installs.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

// MessageBox flags and results (Windows values).
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_OKCANCEL = 0x01;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x02;
inline constexpr unsigned MB_YESNOCANCEL = 0x03;
inline constexpr unsigned MB_YESNO = 0x04;
inline constexpr unsigned MB_RETRYCANCEL = 0x05;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Message dialogs of the archive engine (caption "Confirm").
enum class MsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum MsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
    mbHelp = 1u << 10,
};
using MsgDlgButtons = unsigned;
// Results of MessageDlg.
enum ModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
    mrClose = 11,  // the dialog was closed without a button
};

// The answer a dialog gives when `button` is pressed; mrClose for no button
// (the dialog closed without one).
int ResultOfButton(MsgDlgBtn button);

class IDialogs {
  public:
    virtual ~IDialogs() = default;
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    virtual int MessageDlg(const std::string& text, MsgDlgType kind, MsgDlgButtons buttons,
                           MsgDlgBtn defaultButton) = 0;
    virtual bool ShellOpen(const std::string& path) = 0;
};

// The installed hook. Without one, MessageBox answers IDOK/the default
// button, MessageDlg answers mrAbort when offered, and ShellOpen fails.
IDialogs& Dialogs();
// Installs a hook (not owned); nullptr goes back to the default.
void SetDialogs(IDialogs* dialogs);

// A hook that records every question and gives planned answers, for tests.
class ScriptedDialogs : public IDialogs {
  public:
    struct Question {
        enum class Kind { MessageBox, MessageDlg, ShellOpen } kind;
        std::string text;
        std::string caption;  // MessageBox only; "Confirm" for MessageDlg
        unsigned flags = 0;   // MessageBox flags, or MessageDlg buttons
        MsgDlgType dlgType = MsgDlgType::mtCustom;
        MsgDlgBtn defaultButton = mbOK;
    };
    // Answers are used in order; when they run out, `fallback` is given.
    std::vector<int> answers;
    int fallback = mrAbort;
    std::vector<Question> questions;
    bool shellResult = true;

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int MessageDlg(const std::string& text, MsgDlgType kind, MsgDlgButtons buttons,
                   MsgDlgBtn defaultButton) override;
    bool ShellOpen(const std::string& path) override;
};

// Installs a hook for the lifetime of the guard.
class DialogsGuard {
  public:
    explicit DialogsGuard(IDialogs& d) { SetDialogs(&d); }
    ~DialogsGuard() { SetDialogs(nullptr); }
    DialogsGuard(const DialogsGuard&) = delete;
    DialogsGuard& operator=(const DialogsGuard&) = delete;
};

}  // namespace platform
