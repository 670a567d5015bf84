// The dialog hook of the headless front ends: every question is printed on
// standard error and answered by a policy named on the command line.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "platform/Dialogs.h"

namespace tools {

// How a failure question of the archive engine is answered.
enum class FailurePolicy {
    Abort,      // Abort
    Ignore,     // Ignore
    RetryOnce,  // Retry, then Abort when the same question comes right back
};

// "abort", "ignore" or "retry-once"; false for any other text.
bool ParseFailurePolicy(std::string_view text, FailurePolicy& policy);

class HeadlessDialogs : public platform::IDialogs {
  public:
    explicit HeadlessDialogs(FailurePolicy policy);
    // For tests: where questions and shell paths are printed.
    HeadlessDialogs(FailurePolicy policy, std::ostream& err, std::ostream& out);

    // Prints caption and text; answers OK or the box's first button.
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    // Prints "failure: " and the text; answers by the policy. Where the
    // policy's button is not offered the answer is Abort, and where Abort is
    // not offered either, the default button.
    int MessageDlg(const std::string& text, platform::MsgDlgType kind,
                   platform::MsgDlgButtons buttons, platform::MsgDlgBtn defaultButton) override;
    // Prints the path; true.
    bool ShellOpen(const std::string& path) override;

  private:
    FailurePolicy policy_;
    std::ostream& err_;
    std::ostream& out_;
    std::string lastQuestion_;
    bool asked_ = false;
};

}  // namespace tools
