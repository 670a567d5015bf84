// quellor-check: the installability report, without the window.
//
//   quellor-check [--json] [--jad FILE] [--device NAME] [--devices-file FILE]
//                 [--date YYYY-MM-DD] JAR...
//   quellor-check [--devices-file FILE] --devices
//
// For each JAR, with its JAD (the one given, else the one beside it), the
// verdict of the chosen device's installer and every other finding, one
// line each, then a summary line; or all of it as one JSON object with
// --json. --devices lists the device profiles.
//
// Exit status: 0 when every suite installs; 1 when any does not; 2 for a
// wrong command line or a device profile that cannot be used.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/ProgramOptions.h"
#include "midlet/CheckRun.h"
#include "platform/CodePage.h"
#include "platform/Paths.h"

namespace {

const char* const kUsage =
    "Usage: quellor-check [OPTION]... JAR...\n"
    "  or:  quellor-check [--devices-file FILE] --devices\n";

const char* const kHelp =
    "Predicts what a phone's MIDP installer will say about each JAR and its JAD.\n"
    "\n"
    "options:\n"
    "  --json       print one JSON object: the device, each suite with its verdict\n"
    "               and findings, and the summary (default: lines, see below)\n"
    "  --info       after each suite's report, print its facts: what the archive\n"
    "               is, its class files, APIs, the keys it reads, its MIDlet classes\n"
    "               and the screen it was made for\n"
    "  --jad FILE   the JAD to check with the one JAR given\n"
    "               (default: the JAR's name with .jad, when that file exists)\n"
    "  --device NAME\n"
    "               the phone to assume (default: midp20-cldc11, a MIDP 2.0 phone\n"
    "               with CLDC 1.1)\n"
    "  --devices-file FILE\n"
    "               read more device profiles from FILE; may be given again\n"
    "               (default: only the profiles installed with the program)\n"
    "  --date YYYY-MM-DD\n"
    "               the phone's date, against which certificates are checked\n"
    "               (default: today)\n"
    "  --devices    list the device profiles and exit\n"
    "  -h, --help   print this text and exit\n"
    "  -V, --version\n"
    "               print the version and exit\n"
    "\n"
    "Each suite gets a verdict line, FILE: verdict ok or FILE: verdict CODE\n"
    "ATTRIBUTE: message; fix, then one line per other finding, FILE: SEVERITY CODE\n"
    "ATTRIBUTE: message; fix. CODE is the installer's status code (901 storage,\n"
    "904 JAR size, 905 attribute mismatch, 906 invalid JAD, 907 invalid JAR,\n"
    "908 device incompatible, 909 signature, 910 permission, 911 push) or - where\n"
    "the installer shows none. A last line counts the suites.\n"
    "exit status: 0 when every suite installs, 1 when any does not, 2 for a wrong\n"
    "command line or device profile\n";

struct CommandLine {
    midlet::CheckRequest request;
    std::string device;
    std::vector<std::string> deviceFiles;
    std::string date;
    bool listDevices = false;
};

// Every option of the program.
void DefineOptions(CLI::App& app, CommandLine& line) {
    app.add_flag("--json", line.request.json);
    app.add_flag("--info", line.request.info);
    app.add_option("--jad", line.request.jad)->check(cli::NotEmpty());
    app.add_option("--device", line.device)->check(cli::NotEmpty());
    app.add_option("--devices-file", line.deviceFiles)
        ->allow_extra_args(false)
        ->check(cli::NotEmpty());
    app.add_option("--date", line.date)->check(cli::NotEmpty());
    app.add_flag("--devices", line.listDevices);
    app.add_option("JAR", line.request.jars);
}

// Reads the command line into `line`; the status to end with when the
// program should not go on. At least one JAR, --jad only with one;
// --devices without JARs.
std::optional<int> Parse(int argc, char** argv, CommandLine& line) {
    cli::ProgramOptions options({"quellor-check", kUsage, kHelp},
                                std::string("quellor-check ") + QUELLOR_VERSION);
    DefineOptions(options.App(), line);
    if (const auto status = options.Parse(argc, argv, std::cout, std::cerr)) {
        return status;
    }
    const std::size_t jars = line.request.jars.size();
    std::string wrong;
    if (line.listDevices && jars > 0) {
        wrong = "--devices takes no JAR";
    } else if (!line.listDevices && jars == 0) {
        wrong = "no JAR given";
    } else if (!line.request.jad.empty() && jars > 1) {
        wrong = "--jad goes with one JAR, not " + std::to_string(jars);
    } else if (!line.date.empty() && !midlet::ParseDate(line.date, line.request.now)) {
        wrong = "--date wants a date as YYYY-MM-DD, not '" + line.date + "'";
    }
    if (!wrong.empty()) {
        std::cerr << options.ErrorLine(wrong) << '\n';
        return cli::kUsageStatus;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    // A run's letter case and code pages follow the locale it started in.
    platform::KeepLocaleForTheProcess();
    CommandLine line;
    if (const auto status = Parse(argc, argv, line)) {
        return *status;
    }
    midlet::DeviceChoice choice;
    std::string problem;
    if (!midlet::ChooseDevice(platform::ExecutableFolder(), line.deviceFiles, line.device, choice,
                              problem)) {
        std::cerr << "quellor-check: " << problem << '\n';
        return 2;
    }
    if (line.listDevices) {
        for (const midlet::DeviceProfile& device : choice.profiles.All()) {
            std::cout << midlet::DescribeDevice(device);
        }
        return std::cout.flush() ? 0 : 1;
    }
    return midlet::RunCheck(line.request, *choice.device, std::cout);
}
