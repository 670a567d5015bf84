#include "BatchConsole.h"

#include <cstdio>
#include <ostream>

namespace tools {

namespace {

// Back to the start of the line, and the line cleared.
const char* const kClearLine = "\r\x1b[K";

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string Duration(long long seconds) {
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    }
    return text;
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& terminal, std::size_t total, bool shown)
    : terminal_(terminal), total_(total), shown_(shown) {
    text_ = Text(0, total_, {});
    Show();
}

std::string ProgressLine::Text(std::size_t done, std::size_t total, Clock::duration elapsed) {
    std::string text = std::to_string(done) + " of " + std::to_string(total) + " JARs";
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (done == 0 || seconds <= 0) {
        return text;
    }
    const double rate = static_cast<double>(done) / seconds;
    char figure[32];
    std::snprintf(figure, sizeof figure, rate < 10 ? "%.1f" : "%.0f", rate);
    text += std::string(", ") + figure + "/s";
    if (done < total) {
        const auto left = static_cast<long long>(static_cast<double>(total - done) / rate + 0.5);
        text += ", " + Duration(left) + " left";
    }
    return text;
}

void ProgressLine::Advance() {
    ++done_;
    const Clock::time_point now = Clock::now();
    text_ = Text(done_, total_, now - start_);
    if (now - drawn_ < kRedrawEvery && done_ < total_) {
        return;
    }
    Hide();
    Show();
}

void ProgressLine::Hide() {
    if (shown_) {
        terminal_ << kClearLine << std::flush;
    }
}

void ProgressLine::Show() {
    if (shown_) {
        terminal_ << text_ << std::flush;
        drawn_ = Clock::now();
    }
}

void ProgressLine::Finish() {
    Hide();
    shown_ = false;
}

ConsoleOutput::ConsoleOutput(std::ostream& out, std::ostream& err, std::size_t total, bool terminal,
                             bool outOnTerminal, bool quiet)
    : out_(out),
      err_(err),
      outOnTerminal_(outOnTerminal),
      quiet_(quiet),
      progress_(err, total, terminal && !quiet) {}

void ConsoleOutput::AppendLog(const std::string& line) {
    if (!quiet_) {
        std::lock_guard lock(mutex_);
        PrintLine(out_, line);
    }
}

void ConsoleOutput::AppendJarLog(const std::string& listed, const std::string& line) {
    std::lock_guard lock(mutex_);
    logs_[listed].push_back(line);
    if (!quiet_) {
        PrintLine(out_, listed + ": " + line);
    }
}

void ConsoleOutput::PrintAbout(const std::string& listed, const std::string& line, bool always) {
    if (!quiet_ || always) {
        std::lock_guard lock(mutex_);
        PrintLine(out_, listed + ": " + line);
    }
}

void ConsoleOutput::PrintError(const std::string& listed, const std::string& text) {
    std::lock_guard lock(mutex_);
    PrintLine(err_, "error: " + (listed.empty() ? "" : listed + ": ") + text);
}

std::string ConsoleOutput::TakeLog(const std::string& listed) {
    std::lock_guard lock(mutex_);
    const auto found = logs_.find(listed);
    if (found == logs_.end()) {
        return {};
    }
    std::string text;
    for (const std::string& line : found->second) {
        text += (text.empty() ? "" : "\n") + line;
    }
    logs_.erase(found);
    return text;
}

void ConsoleOutput::JarDone() {
    std::lock_guard lock(mutex_);
    progress_.Advance();
}

void ConsoleOutput::Finish(int prepared, int skipped, int failed) {
    std::lock_guard lock(mutex_);
    progress_.Finish();
    err_ << prepared << " prepared, " << skipped << " skipped, " << failed << " failed\n"
         << std::flush;
}

// A line of standard output that goes elsewhere than the terminal leaves
// the progress line where it is.
void ConsoleOutput::PrintLine(std::ostream& stream, const std::string& line) {
    const bool above = &stream == &err_ || outOnTerminal_;
    if (above) {
        progress_.Hide();
    }
    stream << line << '\n' << std::flush;
    if (above) {
        progress_.Show();
    }
}

int QuestionsBesideTheProgress::MessageBox(const std::string& text, const std::string& caption,
                                           unsigned flags) {
    return Asked([&] { return dialogs_.MessageBox(text, caption, flags); });
}

int QuestionsBesideTheProgress::MessageDlg(const std::string& text, platform::MsgDlgType kind,
                                           platform::MsgDlgButtons buttons,
                                           platform::MsgDlgBtn defaultButton) {
    return Asked([&] { return dialogs_.MessageDlg(text, kind, buttons, defaultButton); });
}

bool QuestionsBesideTheProgress::ShellOpen(const std::string& path) {
    return Asked([&] { return dialogs_.ShellOpen(path); });
}

}  // namespace tools
