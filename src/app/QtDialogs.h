// The dialog hook of the window: real Qt message boxes and message dialogs,
// and the desktop's "open" for folders and documents.
#pragma once

#include <QMessageBox>
#include <functional>

#include "platform/Dialogs.h"

namespace app {

class QtDialogs : public platform::IDialogs {
  public:
    // Message boxes: the Windows button set (flags & 0x0F) and icon
    // (flags & 0xF0); the answer is the ID of the button pressed. Closing
    // the box answers Cancel where there is one, else OK for a box with OK
    // alone, else No.
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    // Confirmation dialogs with caption "Confirm": one button per flag in
    // the order Yes, No, OK, Cancel, Abort, Retry, Ignore, All, No to All,
    // Yes to All, Help; closing the dialog answers mrClose.
    int MessageDlg(const std::string& text, platform::MsgDlgType kind,
                   platform::MsgDlgButtons buttons, platform::MsgDlgBtn defaultButton) override;
    bool ShellOpen(const std::string& path) override;

    // Called with every box right before it runs modally (tests answer it
    // from here; the program leaves it empty).
    std::function<void(QMessageBox&)> beforeShow;
};

}  // namespace app
