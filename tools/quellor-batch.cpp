// quellor-batch: the preparation run of the window, without the window.
//
//   quellor-batch [--program-folder DIR] [--jad full|simple] [--ids | --no-ids]
//                 [--icon | --no-icon] [--type app|game|none] [--app-path TEXT]
//                 [--game-path TEXT] [--on-failure abort|ignore|retry-once]
//                 [--keep-going] JAR...
//
// The program folder (default: the folder of this executable) holds the
// workspace: temp/ and projects/, made when missing. Options not given take
// the values of the settings file there, except the JAD kind, which is full
// unless --jad says otherwise; the settings file is never written. The JARs
// are prepared in the order given. Every log line is printed on standard
// output; when standard error is a terminal, a progress bar is drawn there.
// Questions of the archive engine go to standard error and are answered by
// the --on-failure policy (default abort).
//
// A JAR that fails is named on standard error: "error: ", its path, ": "
// and the text of the window's exception box. The failure ends the run,
// unless --keep-going is given: then the run goes on with the next JAR and
// ends with a line on standard error counting the JARs prepared (made or
// found already generated), skipped (working JAR left in temp/) and failed.
//
// Exit status: 0 when the run went through the list and no JAR failed; 1
// when a JAR failed or the run could not start ("error: " and the text on
// standard error); 2 for a wrong command line.
#include <algorithm>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "HeadlessDialogs.h"
#include "archive/ZipArchiver.h"
#include "midlet/Batch.h"
#include "midlet/ExceptionText.h"
#include "midlet/IdsWriter.h"
#include "midlet/ManifestText.h"
#include "midlet/Settings.h"
#include "platform/CommandLine.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace {

const char* const kUsage =
    "usage: quellor-batch [--program-folder DIR] [--jad full|simple] [--ids | --no-ids]\n"
    "                     [--icon | --no-icon] [--type app|game|none] [--app-path TEXT]\n"
    "                     [--game-path TEXT] [--on-failure abort|ignore|retry-once]\n"
    "                     [--keep-going] JAR...\n";

// What the command line says; options not given stay empty.
struct CommandLine {
    std::string programFolder;
    int jadKind = midlet::kFullJad;
    std::optional<bool> writeIds;
    std::optional<bool> extractIcon;
    std::optional<int> midletType;
    std::optional<std::string> appPath;
    std::optional<std::string> gamePath;
    tools::FailurePolicy policy = tools::FailurePolicy::Abort;
    bool keepGoing = false;
    std::vector<std::string> jars;
};

bool ParseJadKind(const std::string& text, int& kind) {
    if (text == "full" || text == "simple") {
        kind = text == "full" ? midlet::kFullJad : midlet::kSimpleJad;
        return true;
    }
    return false;
}

bool ParseMidletType(const std::string& text, std::optional<int>& type) {
    if (text == "app") {
        type = midlet::kApplicationType;
    } else if (text == "game") {
        type = midlet::kGameType;
    } else if (text == "none") {
        type = -1;
    } else {
        return false;
    }
    return true;
}

// Options first; "--" ends them. At least one JAR.
bool Parse(const std::vector<std::string>& args, CommandLine& line) {
    std::size_t next = 0;
    const auto value = [&](std::string& text) {
        if (next + 1 >= args.size()) {
            return false;
        }
        text = args[next + 1];
        ++next;
        return true;
    };
    for (; next < args.size() && args[next].rfind("--", 0) == 0; ++next) {
        const std::string& option = args[next];
        std::string text;
        bool ok = true;
        if (option == "--") {
            ++next;
            break;
        } else if (option == "--program-folder") {
            ok = value(line.programFolder) && !line.programFolder.empty();
        } else if (option == "--jad") {
            ok = value(text) && ParseJadKind(text, line.jadKind);
        } else if (option == "--ids" || option == "--no-ids") {
            line.writeIds = option == "--ids";
        } else if (option == "--icon" || option == "--no-icon") {
            line.extractIcon = option == "--icon";
        } else if (option == "--type") {
            ok = value(text) && ParseMidletType(text, line.midletType);
        } else if (option == "--app-path") {
            ok = value(text);
            line.appPath = text;
        } else if (option == "--game-path") {
            ok = value(text);
            line.gamePath = text;
        } else if (option == "--keep-going") {
            line.keepGoing = true;
        } else if (option == "--on-failure") {
            ok = value(text) && tools::ParseFailurePolicy(text, line.policy);
        } else {
            ok = false;
        }
        if (!ok) {
            return false;
        }
    }
    line.jars.assign(args.begin() + static_cast<std::ptrdiff_t>(next), args.end());
    return !line.jars.empty();
}

// The window's options as a run would find them: the settings file's
// values, the JAD kind of a freshly opened step 2, and the command line over
// both.
midlet::RunOptions OptionsFor(const CommandLine& line, const midlet::Settings& settings) {
    midlet::RunOptions options;
    options.jadKind = line.jadKind;
    options.writeIds = line.writeIds.value_or(settings.ids);
    options.extractIcon = line.extractIcon.value_or(settings.icon);
    options.midletType = line.midletType.value_or(settings.type);
    options.appPath = line.appPath.value_or(settings.apps);
    options.gamePath = line.gamePath.value_or(settings.game);
    for (const std::string& jar : line.jars) {
        options.list.push_back(platform::ExpandFileName(jar));
    }
    return options;
}

// The output log on standard output; the progress bar on standard error
// when that is a terminal. The bar holds a position above its maximum at
// the maximum, as the window's does.
class ConsoleOutput : public midlet::IRunOutput {
  public:
    ConsoleOutput(int maximum, bool drawBar) : maximum_(maximum), drawBar_(drawBar) { Draw(); }

    void ShowLog() override {}

    void AppendLog(const std::string& line) override {
        Erase();
        std::cout << line << '\n' << std::flush;
        Draw();
    }

    void AdvanceProgress(int steps) override {
        position_ += steps;
        Draw();
    }

    // Leaves the bar as it stands on its own line.
    void Finish() {
        if (drawBar_) {
            std::cerr << '\n' << std::flush;
            drawBar_ = false;
        }
    }

    // Takes the bar off its line, and draws it again.
    void Erase() {
        if (drawBar_) {
            std::cerr << "\r\x1b[K" << std::flush;
        }
    }

    void Draw() {
        if (!drawBar_) {
            return;
        }
        const int shown = std::clamp(position_, 0, maximum_);
        const int filled = maximum_ > 0 ? shown * kWidth / maximum_ : 0;
        std::cerr << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << shown
                  << '/' << maximum_ << std::flush;
    }

  private:
    static constexpr int kWidth = 40;

    int maximum_;
    int position_ = 0;
    bool drawBar_;
};

// The questions of a run get lines of their own, not the end of the bar's.
class QuestionsBesideTheBar : public platform::IDialogs {
  public:
    QuestionsBesideTheBar(platform::IDialogs& dialogs, ConsoleOutput& output)
        : dialogs_(dialogs), output_(output) {}

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        return Asked([&] { return dialogs_.MessageBox(text, caption, flags); });
    }
    int MessageDlg(const std::string& text, platform::MsgDlgType kind,
                   platform::MsgDlgButtons buttons, platform::MsgDlgBtn defaultButton) override {
        return Asked([&] { return dialogs_.MessageDlg(text, kind, buttons, defaultButton); });
    }
    bool ShellOpen(const std::string& path) override {
        return Asked([&] { return dialogs_.ShellOpen(path); });
    }

  private:
    template <class Question>
    auto Asked(Question&& question) -> decltype(question()) {
        output_.Erase();
        const auto answer = question();
        output_.Draw();
        return answer;
    }

    platform::IDialogs& dialogs_;
    ConsoleOutput& output_;
};

// The error line of a failure: the JAR it belongs to, when it belongs to one.
void PrintError(ConsoleOutput& output, const std::string& jar, const std::string& message) {
    output.Erase();
    std::cerr << "error: " << (jar.empty() ? "" : jar + ": ") << midlet::ExceptionBoxText(message)
              << '\n'
              << std::flush;
    output.Draw();
}

int Usage() {
    std::cerr << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    CommandLine line;
    if (!Parse(args, line)) {
        return Usage();
    }
    if (!line.programFolder.empty()) {
        platform::SetProgramFolder(platform::ExpandFileName(line.programFolder));
    }
    const std::string programFolder = platform::ProgramFolder();
    const midlet::RunOptions options = OptionsFor(line, midlet::LoadSettings(programFolder));

    midlet::ProgramState state;
    state.jarCount = static_cast<int>(options.list.size());
    ConsoleOutput output(3 * state.jarCount, platform::StdErrIsTerminal());
    tools::HeadlessDialogs headless(line.policy);
    QuestionsBesideTheBar dialogs(headless, output);
    platform::DialogsGuard guard(dialogs);
    archive::TZipArchiver zip("Zip");
    archive::ApplyFormValues(zip);
    midlet::RunContext run{options, state, output, zip, programFolder};
    if (line.keepGoing) {
        run.onJarFailure = [&](const midlet::JarFailure& failure) {
            PrintError(output, failure.Jar, failure.what());
        };
    }
    midlet::BatchTally tally;
    try {
        tally = midlet::RunBatch(run);
    } catch (const midlet::JarFailure& failure) {
        PrintError(output, failure.Jar, failure.what());
        output.Finish();
        return 1;
    } catch (const std::exception& e) {
        PrintError(output, {}, e.what());
        output.Finish();
        return 1;
    } catch (...) {
        PrintError(output, {}, "Unknown exception");
        output.Finish();
        return 1;
    }
    output.Finish();
    if (line.keepGoing) {
        std::cerr << tally.prepared << " prepared, " << tally.skipped << " skipped, "
                  << tally.failed << " failed\n";
    }
    return tally.failed > 0 ? 1 : 0;
}
