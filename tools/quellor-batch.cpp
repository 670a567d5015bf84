// quellor-batch: the preparation run of the window, without the window.
//
//   quellor-batch [--program-folder DIR] [--jad full|simple] [--ids | --no-ids]
//                 [--icon | --no-icon] [--type app|game|none] [--app-path TEXT]
//                 [--game-path TEXT] [--on-failure abort|ignore|retry-once]
//                 [--keep-going] [--check] [--device NAME] [--devices-file FILE]
//                 [--original-jad FILE] [--quiet] JAR...
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
// output by the installability report for the project's JAR and JAD on the
// chosen device (--device, --devices-file as quellor-check takes them): its
// verdict line, then every other finding and what preparing the listed JAR
// lost, one line each.
//
// A full JAD carries the keys that only the listed JAR's original JAD had
// (the one beside it, or the one --original-jad names for the one JAR
// given); a JAR whose JAD took some is followed by the line
// "NAME.jad: N keys from the original JAD".
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
// Exit status: 0 when the run went through the list, no JAR failed and every
// verdict --check printed was ok; 1 when a JAR failed, a verdict was not ok,
// the run could not start or the --original-jad cannot be read ("error: "
// and the text on standard error); 2 for a wrong command line or device
// profile.
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
#include "midlet/CheckRun.h"
#include "midlet/IdsWriter.h"
#include "midlet/InstallCheck.h"
#include "midlet/ManifestText.h"
#include "midlet/PlainMessages.h"
#include "midlet/Settings.h"
#include "midlet/SuiteFiles.h"
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
           "               installability report of the project (its verdict line, then\n"
           "               each finding) and what preparing the listed JAR lost\n"
           "               (default: no report)\n"
           "  --device NAME\n"
           "               the phone --check assumes, as quellor-check --devices lists\n"
           "               them (default: midp20-cldc11)\n"
           "  --devices-file FILE\n"
           "               more device profiles for --device; may be given again\n"
           "               (default: only the profiles installed with the program)\n"
           "  --original-jad FILE\n"
           "               the original JAD of the one JAR given: a full JAD carries the\n"
           "               keys only it has (default: the JAR's name with .jad, when that\n"
           "               file exists)\n"
           "  -q, --quiet  print no log lines and no progress bar, only errors, findings\n"
           "               and the count of --keep-going (default: print them)\n"
           "  -h, --help   print this text and exit\n"
           "  -V, --version\n"
           "               print the version and exit\n"
           "\n"
           "exit status: 0 when every JAR went through and every verdict was ok, 1 when a\n"
           "JAR failed or a verdict was not, 2 for a wrong command line or device profile\n";
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
    std::string device;
    std::vector<std::string> deviceFiles;
    std::string originalJad;
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
    app.add_option("--device", line.device)->check(cli::NotEmpty());
    app.add_option("--devices-file", line.deviceFiles)
        ->allow_extra_args(false)
        ->check(cli::NotEmpty());
    app.add_option("--original-jad", line.originalJad)->check(cli::NotEmpty());
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
    if (!line.originalJad.empty() && line.jars.size() > 1) {
        std::cerr << options.ErrorLine("--original-jad goes with one JAR, not " +
                                       std::to_string(line.jars.size()))
                  << '\n';
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
    if (!line.originalJad.empty()) {
        options.originalJad = platform::ExpandFileName(line.originalJad);
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

// The report for one project made from a listed JAR, below its log lines.
// Gives true when its verdict is not ok. A check that cannot be made is a
// verdict without a code on the listed JAR.
bool PrintReport(ConsoleOutput& output, const std::string& programFolder,
                 const midlet::DeviceProfile& device, const std::string& listed,
                 const std::string& projectName) {
    const std::string project = programFolder + "projects" + platform::PathDelim + projectName +
                                platform::PathDelim + projectName;
    midlet::SuiteReport report;
    try {
        report = midlet::CheckPrepared(listed, project + ".jar", project + ".jad", {&device, 0});
    } catch (...) {
        report.jar = listed;
        report.device = device.name;
        report.verdict = {
            false,
            0,
            {listed,
             midlet::Severity::Error,
             0,
             {},
             "cannot be checked: " + midlet::PlainFailureText(std::current_exception()),
             "check it alone with quellor-check",
             midlet::InstallStep::ReadJar}};
    }
    std::string lines = midlet::ReportLines(report);
    lines.pop_back();
    output.Print(lines);
    return !report.verdict.ok;
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
    midlet::DeviceChoice devices;
    std::string problem;
    if (line.check && !midlet::ChooseDevice(platform::ExecutableFolder(), line.deviceFiles,
                                            line.device, devices, problem)) {
        std::cerr << "quellor-batch: " << problem << '\n';
        return 2;
    }
    // An original JAD that was named must be there to be carried over.
    std::string jadText;
    if (!options.originalJad.empty() && !midlet::ReadSmallFile(options.originalJad, jadText)) {
        std::cerr << "error: " << options.originalJad << ": the original JAD cannot be read\n";
        return 1;
    }

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
    bool refused = false;
    run.onJarPrepared = [&](const std::string& listed, const std::string& projectName) {
        if (state.originalJadKeys > 0) {
            output.Print(projectName + ".jad: " + std::to_string(state.originalJadKeys) +
                         (state.originalJadKeys == 1 ? " key" : " keys") +
                         " from the original JAD");
        }
        if (line.check) {
            refused =
                PrintReport(output, programFolder, *devices.device, listed, projectName) || refused;
        }
    };
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
    return tally.failed > 0 || refused ? 1 : 0;
}
