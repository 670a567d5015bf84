// quellor-batch: the preparation run of the window, without the window.
//
//   quellor-batch [--program-folder DIR] [--jad full|simple] [--ids | --no-ids]
//                 [--icon | --no-icon] [--type app|game|none] [--app-path TEXT]
//                 [--game-path TEXT] [--on-failure abort|ignore|retry-once]
//                 [--keep-going] [--check] [--quiet] JAR...
//
// The program folder holds the workspace: temp/ and projects/, made when
// missing. By default it is the folder of this executable for a portable
// copy (quellor.portable beside it), else the user's data folder. Options not given take
// the values of the settings file there, except the JAD kind, which is full
// unless --jad says otherwise; the settings file is never written. The JARs
// are prepared in the order given. Every log line is printed on standard
// output; when standard error is a terminal, a progress bar is drawn there.
// Questions of the archive engine go to standard error and are answered by
// the --on-failure policy (default abort).
//
// With --check, each JAR made into a new project is followed on standard
// output by the installability findings for the project's JAR and JAD and
// for what preparing the listed JAR lost, one line each:
// "FILE: SEVERITY CODE ATTRIBUTE: message".
//
// A JAR that fails is named on standard error: "error: ", its path, ": "
// and the text of the window's exception box. The failure ends the run,
// unless --keep-going is given: then the run goes on with the next JAR and
// ends with a line on standard error counting the JARs prepared (made or
// found already generated), skipped (working JAR left in temp/) and failed.
//
// --quiet leaves out the log lines and the bar. --help describes the
// options, --version names the version; options may stand anywhere.
//
// Exit status: 0 when the run went through the list, no JAR failed and no
// error finding was printed; 1 when a JAR failed, --check printed an error
// finding or the run could not start ("error: " and the text on standard
// error); 2 for a wrong command line.
#include <algorithm>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "HeadlessDialogs.h"
#include "archive/ZipArchiver.h"
#include "cli/ProgramOptions.h"
#include "midlet/Batch.h"
#include "midlet/IdsWriter.h"
#include "midlet/InstallCheck.h"
#include "midlet/ManifestText.h"
#include "midlet/PlainMessages.h"
#include "midlet/Settings.h"
#include "platform/CommandLine.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace {

const char* const kUsage = "Usage: quellor-batch [OPTION]... JAR...\n";

// The options with their defaults; those not given come from the settings
// file in the program folder.
std::string Help() {
    const std::string file = midlet::kSettingsFileName;
    return "Prepares each JAR as the window's run does, without the window.\n"
           "\n"
           "Options not given take their values from " +
           file +
           " in the program folder,\n"
           "and from the defaults below where that file lacks them. Options may stand\n"
           "anywhere among the JARs; after -- every argument is a JAR.\n"
           "\n"
           "options:\n"
           "  --program-folder DIR\n"
           "               the folder of the workspace (temp/, projects/) and of " +
           file +
           "\n"
           "               (default: the folder of this program when a file named\n"
           "               quellor.portable is there, as in a build or a portable copy;\n"
           "               else $XDG_DATA_HOME/quellor, by default ~/.local/share/quellor)\n"
           "  --jad full|simple\n"
           "               the kind of JAD written; not taken from the settings file\n"
           "               (default: full)\n"
           "  --ids        write an IDS install descriptor for each project\n"
           "  --no-ids     write none (default: Ids of the settings file, else --ids)\n"
           "  --icon       extract each MIDlet's icon into its project\n"
           "  --no-icon    extract none (default: Icon of the settings file, else --icon)\n"
           "  --type app|game|none\n"
           "               the kind the IDS gives each MIDlet, with its folder on the card\n"
           "               under --app-path or --game-path; none gives neither\n"
           "               (default: Type of the settings file, else app)\n"
           "  --app-path TEXT\n"
           "               the card folder of applications\n"
           "               (default: Apps of the settings file, else fs:/card0/Applications/)\n"
           "  --game-path TEXT\n"
           "               the card folder of games\n"
           "               (default: Game of the settings file, else fs:/card0/Games/)\n"
           "  --on-failure abort|ignore|retry-once\n"
           "               the answer to every failure question of the archive engine\n"
           "               (default: abort)\n"
           "  --keep-going after a JAR that fails, go on with the next and count them at\n"
           "               the end (default: the first failure ends the run)\n"
           "  --check      after each JAR made into a new project, print the\n"
           "               installability findings of the project and what preparing the\n"
           "               listed JAR lost, as FILE: SEVERITY CODE ATTRIBUTE: message\n"
           "               (default: no findings)\n"
           "  -q, --quiet  print no log lines and no progress bar, only errors, findings\n"
           "               and the count of --keep-going (default: print them)\n"
           "  -h, --help   print this text and exit\n"
           "  -V, --version\n"
           "               print the version and exit\n"
           "\n"
           "exit status: 0 when every JAR went through without an error finding, 1 when a\n"
           "JAR failed or --check printed an error, 2 for a wrong command line\n";
}

// What the command line says; options not given stay empty.
struct CommandLine {
    std::string programFolder;
    midlet::JadKind jadKind = midlet::JadKind::Full;
    std::optional<bool> writeIds;
    std::optional<bool> extractIcon;
    std::optional<midlet::MidletType> midletType;
    std::optional<std::string> appPath;
    std::optional<std::string> gamePath;
    tools::FailurePolicy policy = tools::FailurePolicy::Abort;
    bool keepGoing = false;
    bool check = false;
    bool quiet = false;
    std::vector<std::string> jars;
};

// The words of the options that take one, as the command line spells them.
struct OptionWords {
    std::string jad;
    std::string type;
    std::string policy;
    std::string appPath;
    std::string gamePath;
};

// Every option of the program, in the order of the help.
void DefineOptions(CLI::App& app, CommandLine& line, OptionWords& words) {
    app.add_option("--program-folder", line.programFolder)->check(cli::NotEmpty());
    app.add_option("--jad", words.jad)->check(cli::OneOf({"full", "simple"}));
    app.add_flag("--ids,!--no-ids");
    app.add_flag("--icon,!--no-icon");
    app.add_option("--type", words.type)->check(cli::OneOf({"app", "game", "none"}));
    app.add_option("--app-path", words.appPath);
    app.add_option("--game-path", words.gamePath);
    app.add_option("--on-failure", words.policy)
        ->check(cli::OneOf({"abort", "ignore", "retry-once"}));
    app.add_flag("--keep-going", line.keepGoing);
    app.add_flag("--check", line.check);
    app.add_flag("-q,--quiet", line.quiet);
    app.add_option("JAR", line.jars);
}

// A flag given as --NAME or --no-NAME: the last one given, nothing when
// neither is.
std::optional<bool> EitherFlag(const CLI::App& app, const std::string& name) {
    const CLI::Option* option = app.get_option(name);
    if (option->count() == 0) {
        return std::nullopt;
    }
    return option->as<bool>();
}

midlet::MidletType MidletTypeNamed(const std::string& word) {
    return word == "game"   ? midlet::MidletType::Game
           : word == "none" ? midlet::MidletType::None
                            : midlet::MidletType::Application;
}

// Reads the command line into `line`; the status to end with when the
// program should not go on.
std::optional<int> Parse(int argc, char** argv, CommandLine& line) {
    cli::ProgramOptions options({"quellor-batch", kUsage, Help()},
                                std::string("quellor-batch ") + QUELLOR_VERSION);
    CLI::App& app = options.App();
    OptionWords words;
    DefineOptions(app, line, words);
    if (const auto status = options.Parse(argc, argv, std::cout, std::cerr)) {
        return status;
    }
    if (line.jars.empty()) {
        std::cerr << options.ErrorLine("no JAR given") << '\n';
        return cli::kUsageStatus;
    }
    line.writeIds = EitherFlag(app, "--ids");
    line.extractIcon = EitherFlag(app, "--icon");
    if (!words.jad.empty()) {
        line.jadKind = words.jad == "simple" ? midlet::JadKind::Simple : midlet::JadKind::Full;
    }
    if (!words.type.empty()) {
        line.midletType = MidletTypeNamed(words.type);
    }
    if (app.count("--app-path") > 0) {
        line.appPath = words.appPath;
    }
    if (app.count("--game-path") > 0) {
        line.gamePath = words.gamePath;
    }
    if (!words.policy.empty()) {
        tools::ParseFailurePolicy(words.policy, line.policy);
    }
    return std::nullopt;
}

// The window's options as a run would find them: the settings file's
// values, the JAD kind of a freshly opened step 2, and the command line over
// both.
midlet::RunOptions OptionsFor(const CommandLine& line, const midlet::Settings& settings) {
    midlet::RunOptions options;
    options.jadKind = line.jadKind;
    options.writeIds = line.writeIds.value_or(settings.ids);
    options.extractIcon = line.extractIcon.value_or(settings.icon);
    options.midletType = line.midletType.value_or(midlet::MidletTypeFromIndex(settings.type));
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
    ConsoleOutput(int maximum, bool drawBar, bool quiet)
        : maximum_(maximum), drawBar_(drawBar && !quiet), quiet_(quiet) {
        Draw();
    }

    void ShowLog() override {}

    void AppendLog(const std::string& line) override {
        if (!quiet_) {
            Print(line);
        }
    }

    // A line of standard output, above the bar.
    void Print(const std::string& line) {
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
    bool quiet_;
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

// The error line of a failure, in the user's words: the JAR it belongs to,
// when it belongs to one, and what is wrong.
void PrintError(ConsoleOutput& output, const std::string& jar, std::exception_ptr failure) {
    output.Erase();
    std::cerr << "error: " << (jar.empty() ? "" : jar + ": ") << midlet::PlainFailureText(failure)
              << '\n'
              << std::flush;
    output.Draw();
}

// The findings for one project made from a listed JAR, below its log lines.
// Gives true when one of them is an error. A check that cannot be made is
// an error finding on the listed JAR.
bool PrintFindings(ConsoleOutput& output, const std::string& programFolder,
                   const std::string& listed, const std::string& projectName) {
    const std::string project = programFolder + "projects" + platform::PathDelim + projectName +
                                platform::PathDelim + projectName;
    std::vector<midlet::Finding> findings;
    try {
        findings = midlet::CheckPrepared(listed, project + ".jar", project + ".jad");
    } catch (...) {
        findings = {{listed,
                     midlet::Severity::Error,
                     0,
                     {},
                     "cannot be checked: " + midlet::PlainFailureText(std::current_exception())}};
    }
    for (const midlet::Finding& finding : findings) {
        output.Print(midlet::FindingLine(finding));
    }
    return midlet::HasErrors(findings);
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    if (const auto status = Parse(argc, argv, line)) {
        return *status;
    }
    if (!line.programFolder.empty()) {
        platform::SetProgramFolder(platform::ExpandFileName(line.programFolder));
    }
    const std::string programFolder = platform::ProgramFolder();
    const midlet::RunOptions options = OptionsFor(line, midlet::LoadSettings(programFolder));

    midlet::ProgramState state;
    state.jarCount = static_cast<int>(options.list.size());
    ConsoleOutput output(3 * state.jarCount, platform::StdErrIsTerminal(), line.quiet);
    tools::HeadlessDialogs headless(line.policy);
    QuestionsBesideTheBar dialogs(headless, output);
    platform::DialogsGuard guard(dialogs);
    archive::TZipArchiver zip("Zip");
    archive::ApplyFormValues(zip);
    midlet::RunContext run{options, state, output, zip, programFolder};
    if (line.keepGoing) {
        run.onJarFailure = [&](const midlet::JarFailure& failure) {
            PrintError(output, failure.Jar, std::make_exception_ptr(failure));
        };
    }
    bool errorFindings = false;
    if (line.check) {
        run.onJarPrepared = [&](const std::string& listed, const std::string& projectName) {
            errorFindings =
                PrintFindings(output, programFolder, listed, projectName) || errorFindings;
        };
    }
    midlet::BatchTally tally;
    try {
        tally = midlet::RunBatch(run);
    } catch (const midlet::JarFailure& failure) {
        PrintError(output, failure.Jar, std::current_exception());
        output.Finish();
        return 1;
    } catch (...) {
        PrintError(output, {}, std::current_exception());
        output.Finish();
        return 1;
    }
    output.Finish();
    if (line.keepGoing) {
        std::cerr << tally.prepared << " prepared, " << tally.skipped << " skipped, "
                  << tally.failed << " failed\n";
    }
    return tally.failed > 0 || errorFindings ? 1 : 0;
}
