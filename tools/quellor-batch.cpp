// quellor-batch: the preparation run of the window, without the window.
//
//   quellor-batch [--program-folder DIR] [--jad full|simple] [--ids | --no-ids]
//                 [--icon | --no-icon] [--type app|game|none] [--app-path TEXT]
//                 [--game-path TEXT] [--on-failure abort|ignore|retry-once]
//                 [--keep-going] [--force] [--jobs N] [--check] [--device NAME]
//                 [--devices-file FILE] [--original-jad FILE] [--report FILE]
//                 [--recursive] [--from FILE] [-0] [--quiet] JAR|FOLDER...
//
// The program folder holds the workspace: temp/ and projects/, made when
// missing. By default it is the folder of this executable for a portable
// copy (quellor.portable beside it), else the user's data folder. Options
// not given take the values of the settings file there, except the JAD
// kind, which is full unless --jad says otherwise; the settings file is
// never written.
//
// The JAR list: each argument that names a folder stands for the files in it
// whose names end in .jar in any letter case (with --recursive, in its
// sub-folders too; links to folders are not followed), sorted by the bytes
// of their paths; any other argument is a JAR. --from FILE reads more such
// paths, one a line (CR LF taken as a line end, blank lines skipped, relative
// paths taken from the working folder; "-" is standard input; with -0 the
// names end with NUL instead). All of these
// are listed in the order the command line gives them. A folder or list
// that cannot be read, or a list that comes out empty, ends the program with
// exit status 1 before anything is prepared.
//
// The JARs are prepared in list order, --jobs at a time (default: one per
// processor), with the same projects and the same log as one at a time;
// each project is made durable on a thread of its own while the next JARs
// are prepared, with --jobs 1 too.
// Every log line about a JAR is printed on standard output after the JAR's
// listed path: "PATH: NAME.jad generated!". When standard error is a
// terminal, one progress line is drawn there below them (JARs done of the
// total, JARs a second, time left), redrawn in place and cleared at the end.
// Questions of the archive engine go to standard error and are answered by
// the --on-failure policy (default abort).
//
// With --check, each JAR made into a new project is followed on standard
// output by the installability report for the project's JAR and JAD on the
// chosen device (--device, --devices-file as quellor-check takes them): its
// verdict line, then every other finding and what preparing the listed JAR
// lost, one line each, all after the listed path.
//
// A full JAD carries the keys that only the listed JAR's original JAD had
// (the one beside it, or the one --original-jad names for the one JAR
// listed); a JAR whose JAD took some is followed by the line
// "PATH: NAME.jad: N keys from the original JAD".
//
// A JAR that fails is named on standard error: "error: ", its path, ": "
// and the text of the window's exception box. The failure ends the run,
// unless --keep-going is given: then the run goes on with the next JAR.
// Every run ends with a line on standard error counting the JARs prepared
// (made or found already generated), skipped (working JAR left in temp/)
// and failed, also when a failure ended it.
//
// --report FILE keeps one record per JAR the run went through, in list
// order, as JSON lines or, for a name ending in .csv, as CSV with a header
// line: see the help for its fields. The file is replaced whole at the end
// of the run.
//
// --quiet leaves out the log lines, the progress line and the reports of
// verdicts that are ok: errors, verdicts that are not ok and the count line
// stay. --help describes the options, --version names the version; options
// may stand anywhere.
//
// Exit status: 0 when the run went through the list, no JAR failed and every
// verdict --check printed was ok; 1 when a JAR failed, a verdict was not ok,
// the run could not start, the list could not be read or is empty, the
// --original-jad cannot be read or the report cannot be written ("error: "
// and the text on standard error); 2 for a wrong command line or device
// profile.
#include <malloc.h>
#include <algorithm>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BatchConsole.h"
#include "BatchInputs.h"
#include "BatchReport.h"
#include "HeadlessDialogs.h"
#include "archive/ZipArchiver.h"
#include "cli/ProgramOptions.h"
#include "midlet/Batch.h"
#include "midlet/CheckRun.h"
#include "midlet/InstallCheck.h"
#include "midlet/PlainMessages.h"
#include "midlet/Settings.h"
#include "midlet/SuiteFiles.h"
#include "platform/CodePage.h"
#include "platform/CommandLine.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace {

const char* const kUsage = "Usage: quellor-batch [OPTION]... JAR|FOLDER...\n";

// The options with their defaults; those not given come from the settings
// file in the program folder.
std::string Help() {
    const std::string file = midlet::kSettingsFileName;
    return "Prepares each JAR as the window's run does, without the window.\n"
           "\n"
           "A FOLDER stands for the files in it whose names end in .jar (in any letter\n"
           "case), sorted by path. Options not given take their values from " +
           file +
           "\n"
           "in the program folder, and from the defaults below where that file lacks\n"
           "them. Options may stand anywhere among the JARs; after -- every argument is\n"
           "a JAR or FOLDER.\n"
           "\n"
           "options:\n"
           "  --program-folder DIR\n"
           "               the folder of the workspace (temp/, projects/) and of " +
           file +
           "\n"
           "               (default: the folder of this program when a file named\n"
           "               quellor.portable is there, as in a build or a portable copy;\n"
           "               else $XDG_DATA_HOME/quellor, by default ~/.local/share/quellor)\n"
           "  -r, --recursive\n"
           "               a FOLDER stands for the JARs in its sub-folders too (default:\n"
           "               only its own; links to folders are not followed)\n"
           "  --from FILE  list the JARs and FOLDERs FILE names, one a line, in this\n"
           "               place among the arguments (blank lines skipped; a relative\n"
           "               path is taken from the working folder); - reads standard\n"
           "               input; may be given again (default: none)\n"
           "  -0, --null   the --from lists end each name with NUL, not a line end\n"
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
           "  --keep-going after a JAR that fails, go on with the next (default: the\n"
           "               first failure ends the run)\n"
           "  --force      prepare a suite again over the project an earlier run made\n"
           "               of it (default: say it is already generated)\n"
           "  --jobs N     prepare N JARs at once; the projects and the log are those of\n"
           "               one at a time (default: the number of processors)\n"
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
           "               the original JAD of the one JAR listed: a full JAD carries the\n"
           "               keys only it has (default: the JAR's name with .jad, when that\n"
           "               file exists)\n"
           "  --report FILE\n"
           "               write a record of each JAR the run went through, in list\n"
           "               order: JSON lines, or CSV with a header line when FILE ends\n"
           "               in .csv (default: none; see below)\n"
           "  -q, --quiet  print no log lines and no progress line, only errors, verdicts\n"
           "               that are not ok and the count line (default: print them)\n"
           "  -h, --help   print this text and exit\n"
           "  -V, --version\n"
           "               print the version and exit\n"
           "\n"
           "Every log line about a JAR starts with its path; the run ends with the line\n"
           "N prepared, K skipped, M failed on standard error. On a terminal, a progress\n"
           "line on standard error tells the JARs done, JARs a second and time left.\n"
           "\n"
           "The report's fields, by name: listed (the JAR's path), project (its project's\n"
           "name), outcome (prepared, skipped or failed; a suite whose project was there\n"
           "already is prepared with already_generated true), message (what failed, or\n"
           "the JAR's log lines), verdict_ok, verdict_code and verdict_text (with\n"
           "--check), listed_size and listed_sha256, project_jar_size and\n"
           "project_jar_sha256, and of the project's suite: midlet_name,\n"
           "midlet_vendor, midlet_version, profile, configuration, kind, classes, apis\n"
           "and screen. A value not known is null (empty in CSV). JSON strings of text\n"
           "that is not UTF-8 read its bytes as Latin-1.\n"
           "\n"
           "exit status: 0 when every JAR went through and every verdict was ok, 1 when a\n"
           "JAR failed, a verdict was not ok, the list could not be read or was empty, or\n"
           "the report could not be written, 2 for a wrong command line or device profile\n";
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
    bool force = false;
    unsigned jobs = 1;
    bool check = false;
    bool quiet = false;
    std::string device;
    std::vector<std::string> deviceFiles;
    std::string originalJad;
    std::string report;
    std::vector<tools::BatchInput> inputs;
    tools::ListingOptions listing;
};

// The words of the options that take one, as the command line spells them,
// and the inputs of each kind.
struct OptionWords {
    std::string jad;
    std::string type;
    std::string policy;
    std::string appPath;
    std::string gamePath;
    std::string jobs;
    std::vector<std::string> paths;
    std::vector<std::string> lists;
};

// Every option of the program, in the order of the help.
void DefineOptions(CLI::App& app, CommandLine& line, OptionWords& words) {
    app.add_option("--program-folder", line.programFolder)->check(cli::NotEmpty());
    app.add_flag("-r,--recursive", line.listing.recursive);
    app.add_option("--from", words.lists)->allow_extra_args(false)->check(cli::NotEmpty());
    app.add_flag("-0,--null", line.listing.nulSeparated);
    app.add_option("--jad", words.jad)->check(cli::OneOf({"full", "simple"}));
    app.add_flag("--ids,!--no-ids");
    app.add_flag("--icon,!--no-icon");
    app.add_option("--type", words.type)->check(cli::OneOf({"app", "game", "none"}));
    app.add_option("--app-path", words.appPath);
    app.add_option("--game-path", words.gamePath);
    app.add_option("--on-failure", words.policy)
        ->check(cli::OneOf({"abort", "ignore", "retry-once"}));
    app.add_flag("--keep-going", line.keepGoing);
    app.add_flag("--force", line.force);
    app.add_option("--jobs", words.jobs);
    app.add_flag("--check", line.check);
    app.add_option("--device", line.device)->check(cli::NotEmpty());
    app.add_option("--devices-file", line.deviceFiles)
        ->allow_extra_args(false)
        ->check(cli::NotEmpty());
    app.add_option("--original-jad", line.originalJad)->check(cli::NotEmpty());
    app.add_option("--report", line.report)->check(cli::NotEmpty());
    app.add_flag("-q,--quiet", line.quiet);
    app.add_option("JAR", words.paths);
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

// The JARs, FOLDERs and --from lists in the order the command line gives
// them.
std::vector<tools::BatchInput> InputsInOrder(const CLI::App& app, const OptionWords& words) {
    const CLI::Option* paths = app.get_option("JAR");
    const CLI::Option* lists = app.get_option("--from");
    std::vector<tools::BatchInput> inputs;
    std::size_t path = 0;
    std::size_t list = 0;
    for (const CLI::Option* option : app.parse_order()) {
        if (option == paths && path < words.paths.size()) {
            inputs.push_back({tools::BatchInput::Kind::Path, words.paths[path++]});
        } else if (option == lists && list < words.lists.size()) {
            inputs.push_back({tools::BatchInput::Kind::List, words.lists[list++]});
        }
    }
    return inputs;
}

// The processors of this machine, at least one.
unsigned ProcessorCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

// "--jobs" as a whole number from 1 on; nothing for other text.
std::optional<unsigned> JobsNamed(const std::string& word) {
    if (word.empty() || word.size() > 4 ||
        word.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned jobs = static_cast<unsigned>(std::stoul(word));
    return jobs > 0 ? std::optional(jobs) : std::nullopt;
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
    line.inputs = InputsInOrder(app, words);
    std::string wrong;
    if (line.inputs.empty()) {
        wrong = "no JAR given";
    } else if (!line.originalJad.empty() && line.inputs.size() > 1) {
        wrong = "--original-jad goes with one JAR, not " + std::to_string(line.inputs.size());
    } else if (!words.jobs.empty() && !JobsNamed(words.jobs)) {
        wrong = "--jobs wants a number from 1 on, not '" + words.jobs + "'";
    }
    if (!wrong.empty()) {
        std::cerr << options.ErrorLine(wrong) << '\n';
        return cli::kUsageStatus;
    }
    line.jobs = words.jobs.empty() ? ProcessorCount() : *JobsNamed(words.jobs);
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
midlet::RunOptions OptionsFor(const CommandLine& line, const std::vector<std::string>& jars,
                              const midlet::Settings& settings) {
    midlet::RunOptions options;
    options.jadKind = line.jadKind;
    options.writeIds = line.writeIds.value_or(settings.ids);
    options.extractIcon = line.extractIcon.value_or(settings.icon);
    options.midletType = line.midletType.value_or(midlet::MidletTypeFromIndex(settings.type));
    options.appPath = line.appPath.value_or(settings.apps);
    options.gamePath = line.gamePath.value_or(settings.game);
    for (const std::string& jar : jars) {
        options.list.push_back(platform::ExpandFileName(jar));
    }
    if (!line.originalJad.empty()) {
        options.originalJad = platform::ExpandFileName(line.originalJad);
    }
    return options;
}

// The installability report of a project made from a listed JAR. A check
// that cannot be made is a verdict without a code on the listed JAR.
midlet::SuiteReport CheckProject(const std::string& listed, const std::string& originalJad,
                                 const std::string& project, const midlet::DeviceProfile& device) {
    try {
        return midlet::CheckPrepared(listed, project + ".jar", project + ".jad", {&device, 0},
                                     originalJad);
    } catch (...) {
        midlet::SuiteReport report;
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
        return report;
    }
}

// What is learnt of one new project on the thread that made it: its
// installability report and what the report file keeps of it.
struct ProjectInspection {
    std::optional<midlet::SuiteReport> check;
    std::optional<tools::FileDigest> listedJar;
    std::optional<tools::FileDigest> projectJar;
    std::optional<tools::SuiteSummary> suite;
};

// One run of the tool over its list: what each JAR's end prints, counts and
// records.
class BatchRun {
  public:
    BatchRun(const midlet::RunOptions& options, const std::string& programFolder,
             const midlet::DeviceProfile* device, tools::ConsoleOutput& console,
             tools::ReportFile* report)
        : programFolder_(programFolder),
          originalJad_(options.originalJad),
          device_(device),
          console_(console),
          report_(report),
          inspections_(options.list.size()) {}

    // Runs on the thread that prepared the JAR; writes only its own slot.
    void Inspect(midlet::JarRecord& record) {
        ProjectInspection& slot = inspections_[record.index];
        const std::string project = ProjectPath(record.projectName);
        if (device_ != nullptr) {
            slot.check = CheckProject(record.listed, originalJad_, project, *device_);
        }
        if (report_ != nullptr) {
            slot.listedJar = tools::DigestOf(record.listed);
            slot.projectJar = tools::DigestOf(project + ".jar");
            slot.suite = tools::SummaryOf(project + ".jar", project + ".jad");
        }
    }

    // Every listed JAR, in list order, after its log lines.
    void Done(const midlet::JarRecord& record) {
        ProjectInspection slot = std::move(inspections_[record.index]);
        inspections_[record.index] = {};
        Count(record.outcome);
        if (record.originalJadKeys > 0) {
            console_.PrintAbout(
                record.listed,
                record.projectName + ".jad: " + std::to_string(record.originalJadKeys) +
                    (record.originalJadKeys == 1 ? " key" : " keys") + " from the original JAD");
        }
        if (slot.check) {
            PrintCheck(record.listed, *slot.check);
        }
        Record(record, slot);
        console_.JarDone();
        ++done_;
        lastFailed_ = record.outcome == midlet::JarOutcome::Failed ? record.listed : "";
    }

    // The failure that ended the run: its JAR is counted and recorded here
    // unless the run told it done already.
    void EndedBy(const midlet::JarFailure& failure) {
        console_.PrintError(failure.Jar, midlet::PlainFailureText(std::current_exception()));
        if (!lastFailed_.empty() && lastFailed_ == failure.Jar) {
            return;
        }
        midlet::JarRecord record;
        record.index = done_;
        record.listed = failure.Jar;
        record.outcome = midlet::JarOutcome::Failed;
        record.failure = std::current_exception();
        Count(record.outcome);
        Record(record, {});
    }

    // The report written, then the count line: the status to end with.
    int Finish() {
        bool unwritten = false;
        if (report_ != nullptr) {
            if (const std::string problem = report_->Write(); !problem.empty()) {
                console_.PrintError(report_->Path(), "the report cannot be written: " + problem);
                unwritten = true;
            }
        }
        console_.Finish(prepared_, skipped_, failed_);
        return failed_ > 0 || refused_ || unwritten ? 1 : 0;
    }

  private:
    std::string ProjectPath(const std::string& name) const {
        return programFolder_ + "projects" + platform::PathDelim + name + platform::PathDelim +
               name;
    }

    void Count(midlet::JarOutcome outcome) {
        switch (outcome) {
            case midlet::JarOutcome::Prepared:
            case midlet::JarOutcome::AlreadyGenerated:
                ++prepared_;
                break;
            case midlet::JarOutcome::Skipped:
                ++skipped_;
                break;
            case midlet::JarOutcome::Failed:
                ++failed_;
                break;
        }
    }

    // The report's lines after the listed path; under --quiet only those of
    // a verdict that is not ok, which fails the run.
    void PrintCheck(const std::string& listed, const midlet::SuiteReport& report) {
        refused_ = refused_ || !report.verdict.ok;
        std::string lines = midlet::ReportLines(report);
        for (std::size_t start = 0; start < lines.size();) {
            const std::size_t end = lines.find('\n', start);
            console_.PrintAbout(listed, lines.substr(start, end - start), !report.verdict.ok);
            start = end == std::string::npos ? lines.size() : end + 1;
        }
    }

    void Record(const midlet::JarRecord& record, const ProjectInspection& slot) {
        const std::string log = console_.TakeLog(record.listed);
        if (report_ == nullptr) {
            return;
        }
        tools::ReportRecord entry;
        entry.listed = record.listed;
        entry.project = record.projectName;
        entry.outcome = record.outcome;
        entry.message = record.failure ? midlet::PlainFailureText(record.failure) : log;
        if (slot.check) {
            entry.verdict = {slot.check->verdict.ok, slot.check->verdict.code,
                             midlet::VerdictLine(*slot.check)};
        }
        entry.listedJar = slot.listedJar ? slot.listedJar : tools::DigestOf(record.listed);
        entry.projectJar = slot.projectJar;
        if (!slot.projectJar && record.outcome == midlet::JarOutcome::AlreadyGenerated) {
            entry.projectJar = tools::DigestOf(ProjectPath(record.projectName) + ".jar");
        }
        entry.suite = slot.suite;
        report_->Add(entry);
    }

    std::string programFolder_;
    std::string originalJad_;  // the one listed JAR's, when named; else the JAD beside
    const midlet::DeviceProfile* device_;
    tools::ConsoleOutput& console_;
    tools::ReportFile* report_;
    std::vector<ProjectInspection> inspections_;
    std::size_t done_ = 0;
    std::string lastFailed_;  // the JAR last told done, when it failed
    int prepared_ = 0;
    int skipped_ = 0;
    int failed_ = 0;
    bool refused_ = false;
};

// The JAR list the inputs stand for; the status to end with when there is
// none to prepare.
std::optional<int> CollectJars(const CommandLine& line, std::vector<std::string>& jars) {
    try {
        jars = tools::CollectJars(line.inputs, line.listing, std::cin);
    } catch (const tools::InputError& e) {
        std::cerr << "error: " << e.what() << '\n';
        return 1;
    }
    if (jars.empty()) {
        std::cerr << "error: no JAR to prepare: the folders and lists given hold none\n";
        return 1;
    }
    if (!line.originalJad.empty() && jars.size() > 1) {
        std::cerr << "quellor-batch: --original-jad goes with one JAR, not " << jars.size()
                  << "; try 'quellor-batch --help'\n";
        return cli::kUsageStatus;
    }
    return std::nullopt;
}

// The report file --report names, when it can be written there; false,
// with the error told, when it cannot.
bool OpenReport(const std::string& name, std::optional<tools::ReportFile>& report) {
    report.emplace(platform::ExpandFileName(name));
    if (const std::string reason = report->Problem(); !reason.empty()) {
        std::cerr << "error: " << report->Path() << ": the report cannot be written: " << reason
                  << '\n';
        return false;
    }
    return true;
}

// Every JAR takes and gives back about the same memory; handing it back to
// the system after each one and taking it again costs a system call and
// fresh zeroed pages each time. What stays held is bounded by one JAR's
// worth for each worker.
void KeepFreedMemory() {
    constexpr int kKeptBytes = 16 << 20;
    mallopt(M_TRIM_THRESHOLD, kKeptBytes);
    mallopt(M_MMAP_THRESHOLD, kKeptBytes);
}

}  // namespace

int main(int argc, char** argv) {
    // A run's letter case and code pages follow the locale it started in.
    platform::KeepLocaleForTheProcess();
    KeepFreedMemory();
    CommandLine line;
    if (const auto status = Parse(argc, argv, line)) {
        return *status;
    }
    std::vector<std::string> jars;
    if (const auto status = CollectJars(line, jars)) {
        return *status;
    }
    if (!line.programFolder.empty()) {
        platform::SetProgramFolder(platform::ExpandFileName(line.programFolder));
    }
    const std::string programFolder = platform::ProgramFolder();
    const midlet::RunOptions options = OptionsFor(line, jars, midlet::LoadSettings(programFolder));
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
    std::optional<tools::ReportFile> report;
    if (!line.report.empty() && !OpenReport(line.report, report)) {
        return 1;
    }

    midlet::ProgramState state;
    state.jarCount = static_cast<int>(options.list.size());
    tools::ConsoleOutput console(std::cout, std::cerr, options.list.size(),
                                 platform::StdErrIsTerminal(), platform::StdOutIsTerminal(),
                                 line.quiet);
    tools::HeadlessDialogs headless(line.policy);
    tools::QuestionsBesideTheProgress dialogs(headless, console.Progress());
    platform::DialogsGuard guard(dialogs);
    archive::TZipArchiver zip("Zip");
    archive::ApplyFormValues(zip);
    BatchRun batch(options, programFolder, line.check ? devices.device : nullptr, console,
                   report ? &*report : nullptr);
    midlet::RunContext run{options, state, console, zip, programFolder};
    run.force = line.force;
    run.jobs = line.jobs;
    run.onWorkers = true;  // no archive events here: commits run beside the work
    if (line.keepGoing) {
        run.onJarFailure = [&](const midlet::JarFailure& failure) {
            console.PrintError(failure.Jar,
                               midlet::PlainFailureText(std::make_exception_ptr(failure)));
        };
    }
    if (line.check || report) {
        run.inspectProject = [&](midlet::JarRecord& record) { batch.Inspect(record); };
    }
    run.onJarDone = [&](const midlet::JarRecord& record) { batch.Done(record); };
    try {
        midlet::RunBatch(run);
    } catch (const midlet::JarFailure& failure) {
        batch.EndedBy(failure);
    } catch (...) {
        console.PrintError({}, midlet::PlainFailureText(std::current_exception()));
        batch.Finish();
        return 1;
    }
    return batch.Finish();
}
