// What quellor-batch shows while it runs: the log lines, each of one JAR
// after that JAR's listed path, on standard output; errors and the count
// line on standard error; and, when standard error is a terminal, one
// progress line there, drawn below what is printed and redrawn in place.
#pragma once

#include <chrono>
#include <exception>
#include <iosfwd>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "midlet/Session.h"
#include "platform/Dialogs.h"

namespace tools {

// The one line that tells how far a run is: "N of T JARs, R/s, M:SS left".
// Redrawn at most ten times a second, except when the last JAR is done.
class ProgressLine {
  public:
    using Clock = std::chrono::steady_clock;

    ProgressLine(std::ostream& terminal, std::size_t total, bool shown);

    // One more JAR done.
    void Advance();
    // Takes the line off the screen, so that a line can be printed in its
    // place; Show puts it back below.
    void Hide();
    void Show();
    // Clears it for good.
    void Finish();

    // The text for `done` of `total` JARs after `elapsed`.
    static std::string Text(std::size_t done, std::size_t total, Clock::duration elapsed);

  private:
    std::ostream& terminal_;
    std::size_t total_;
    std::size_t done_ = 0;
    bool shown_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point drawn_{};
    std::string text_;
};

// The run's output. Log lines about one JAR are printed after its listed
// path and kept, until the JAR is done, for its record.
class ConsoleOutput : public midlet::IRunOutput {
  public:
    // `terminal`: standard error is one, and gets the progress line;
    // `outOnTerminal`: standard output is one too, so its lines are printed
    // above the progress line as well.
    ConsoleOutput(std::ostream& out, std::ostream& err, std::size_t total, bool terminal,
                  bool outOnTerminal, bool quiet);

    void ShowLog() override {}
    void AppendLog(const std::string& line) override;
    void AppendJarLog(const std::string& listed, const std::string& line) override;
    void AdvanceProgress(int) override {}

    // A line of standard output about the JAR `listed`, after its path;
    // left out under --quiet unless `always`.
    void PrintAbout(const std::string& listed, const std::string& line, bool always = false);
    // "error: PATH: TEXT" on standard error; no path when `listed` is empty.
    void PrintError(const std::string& listed, const std::string& text);
    // The log lines of `listed` since it was last taken, joined by line ends.
    std::string TakeLog(const std::string& listed);
    // One JAR done: the progress line moves on.
    void JarDone();
    // Clears the progress line and prints the count line.
    void Finish(int prepared, int skipped, int failed);

    ProgressLine& Progress() { return progress_; }

  private:
    void PrintLine(std::ostream& stream, const std::string& line);

    std::ostream& out_;
    std::ostream& err_;
    bool outOnTerminal_;
    bool quiet_;
    ProgressLine progress_;
    std::mutex mutex_;
    std::map<std::string, std::vector<std::string>> logs_;
};

// The questions of the archive engine get lines of their own, not the end
// of the progress line's.
class QuestionsBesideTheProgress : public platform::IDialogs {
  public:
    QuestionsBesideTheProgress(platform::IDialogs& dialogs, ProgressLine& progress)
        : dialogs_(dialogs), progress_(progress) {}

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int MessageDlg(const std::string& text, platform::MsgDlgType kind,
                   platform::MsgDlgButtons buttons, platform::MsgDlgBtn defaultButton) override;
    bool ShellOpen(const std::string& path) override;

  private:
    template <class Question>
    auto Asked(Question&& question) -> decltype(question()) {
        progress_.Hide();
        const auto answer = question();
        progress_.Show();
        return answer;
    }

    platform::IDialogs& dialogs_;
    ProgressLine& progress_;
};

}  // namespace tools
