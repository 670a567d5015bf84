// The process-wide dialog hook, its default answers, and the scripted hook
// of the tests.
#include "platform/Dialogs.h"

#include <atomic>

namespace platform {

namespace {

constexpr unsigned kButtonsMask = 0x0F;
constexpr unsigned kDefaultButtonMask = 0xF00;
constexpr unsigned kDefaultButton2 = 0x100;
constexpr unsigned kDefaultButton3 = 0x200;

// Answers without asking anyone: a message box gives its default button, a
// message dialog aborts when it can and takes its default button otherwise,
// and nothing can be opened.
class DefaultDialogs : public IDialogs {
  public:
    int MessageBox(const std::string&, const std::string&, unsigned flags) override {
        static constexpr int kButtons[][3] = {
            {IDOK, IDOK, IDOK},            // MB_OK
            {IDOK, IDCANCEL, IDOK},        // MB_OKCANCEL
            {IDABORT, IDRETRY, IDIGNORE},  // MB_ABORTRETRYIGNORE
            {IDYES, IDNO, IDCANCEL},       // MB_YESNOCANCEL
            {IDYES, IDNO, IDYES},          // MB_YESNO
            {IDRETRY, IDCANCEL, IDRETRY},  // MB_RETRYCANCEL
        };
        unsigned buttons = flags & kButtonsMask;
        if (buttons > MB_RETRYCANCEL) {
            return IDOK;
        }
        unsigned defaultButton = flags & kDefaultButtonMask;
        int index = defaultButton == kDefaultButton2 ? 1 : defaultButton == kDefaultButton3 ? 2 : 0;
        return kButtons[buttons][index];
    }
    int MessageDlg(const std::string&, MsgDlgType, MsgDlgButtons buttons,
                   MsgDlgBtn defaultButton) override {
        if ((buttons & mbAbort) != 0) {
            return mrAbort;
        }
        return ResultOfButton(defaultButton);
    }
    bool ShellOpen(const std::string&) override { return false; }
};

DefaultDialogs defaultDialogs;
std::atomic<IDialogs*> installed{nullptr};

// The planned answers in order, then the fallback.
int NextAnswer(ScriptedDialogs& dialogs) {
    if (dialogs.answers.empty()) {
        return dialogs.fallback;
    }
    int answer = dialogs.answers.front();
    dialogs.answers.erase(dialogs.answers.begin());
    return answer;
}

}  // namespace

int ResultOfButton(MsgDlgBtn button) {
    switch (button) {
        case mbYes:
            return mrYes;
        case mbNo:
            return mrNo;
        case mbOK:
            return mrOk;
        case mbCancel:
            return mrCancel;
        case mbAbort:
            return mrAbort;
        case mbRetry:
            return mrRetry;
        case mbIgnore:
            return mrIgnore;
        case mbAll:
            return mrAll;
        case mbNoToAll:
            return mrNoToAll;
        case mbYesToAll:
            return mrYesToAll;
        default:
            return mrClose;
    }
}

IDialogs& Dialogs() {
    IDialogs* dialogs = installed.load();
    return dialogs != nullptr ? *dialogs : defaultDialogs;
}

void SetDialogs(IDialogs* dialogs) {
    installed.store(dialogs);
}

int ScriptedDialogs::MessageBox(const std::string& text, const std::string& caption,
                                unsigned flags) {
    Question question{Question::Kind::MessageBox, text, caption, flags};
    questions.push_back(question);
    return NextAnswer(*this);
}

int ScriptedDialogs::MessageDlg(const std::string& text, MsgDlgType kind, MsgDlgButtons buttons,
                                MsgDlgBtn defaultButton) {
    Question question{Question::Kind::MessageDlg, text, "Confirm", buttons, kind, defaultButton};
    questions.push_back(question);
    return NextAnswer(*this);
}

bool ScriptedDialogs::ShellOpen(const std::string& path) {
    questions.push_back(Question{Question::Kind::ShellOpen, path, "", 0});
    return shellResult;
}

}  // namespace platform
