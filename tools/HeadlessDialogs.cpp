#include "HeadlessDialogs.h"

#include <iostream>

#include "midlet/PlainMessages.h"

namespace tools {

using namespace platform;

namespace {}  // namespace

bool ParseFailurePolicy(std::string_view text, FailurePolicy& policy) {
    if (text == "abort") {
        policy = FailurePolicy::Abort;
    } else if (text == "ignore") {
        policy = FailurePolicy::Ignore;
    } else if (text == "retry-once") {
        policy = FailurePolicy::RetryOnce;
    } else {
        return false;
    }
    return true;
}

HeadlessDialogs::HeadlessDialogs(FailurePolicy policy)
    : HeadlessDialogs(policy, std::cerr, std::cout) {}

HeadlessDialogs::HeadlessDialogs(FailurePolicy policy, std::ostream& err, std::ostream& out)
    : policy_(policy), err_(err), out_(out) {}

int HeadlessDialogs::MessageBox(const std::string& text, const std::string& caption,
                                unsigned flags) {
    err_ << caption << ": " << text << '\n';
    switch (flags & 0x0F) {
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        case MB_YESNOCANCEL:
        case MB_YESNO:
            return IDYES;
        case MB_RETRYCANCEL:
            return IDRETRY;
        default:
            return IDOK;
    }
}

int HeadlessDialogs::MessageDlg(const std::string& text, MsgDlgType, MsgDlgButtons buttons,
                                MsgDlgBtn defaultButton) {
    err_ << "failure: " << midlet::PlainQuestionText(text) << '\n';
    // The same question right after the last one is never retried again.
    const bool repeated = asked_ && text == lastQuestion_;
    lastQuestion_ = text;
    asked_ = true;
    MsgDlgBtn wanted = mbAbort;
    if (policy_ == FailurePolicy::Ignore) {
        wanted = mbIgnore;
    } else if (policy_ == FailurePolicy::RetryOnce && !repeated) {
        wanted = mbRetry;
    }
    if ((buttons & wanted) != 0) {
        return ResultOfButton(wanted);
    }
    if ((buttons & mbAbort) != 0) {
        return mrAbort;
    }
    return ResultOfButton(defaultButton);
}

bool HeadlessDialogs::ShellOpen(const std::string& path) {
    out_ << path << '\n';
    return true;
}

}  // namespace tools
