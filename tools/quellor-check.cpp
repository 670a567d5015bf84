// quellor-check: the installability report, without the window.
//
//   quellor-check [--json] [--jad FILE] JAR...
//
// For each JAR, the findings of the installation rules for the JAR and its
// JAD (the one given, else the one beside it), one line each:
// "FILE: SEVERITY CODE ATTRIBUTE: message", or all of them as one JSON array
// with --json.
//
// Exit status: 0 without error findings; 1 with any; 2 for a wrong command
// line.
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/ProgramOptions.h"
#include "midlet/InstallCheck.h"

namespace {

const char* const kUsage = "Usage: quellor-check [OPTION]... JAR...\n";

const char* const kHelp =
    "Predicts what a phone's MIDP installer will say about each JAR and its JAD.\n"
    "\n"
    "options:\n"
    "  --json       print the findings as one JSON array of objects with the keys\n"
    "               file, severity, code, attribute and message\n"
    "               (default: one line each, FILE: SEVERITY CODE ATTRIBUTE: message)\n"
    "  --jad FILE   the JAD to check with the one JAR given\n"
    "               (default: the JAR's name with .jad, when that file exists)\n"
    "  -h, --help   print this text and exit\n"
    "  -V, --version\n"
    "               print the version and exit\n"
    "\n"
    "CODE is the installer's status code (904 JAR size, 905 attribute mismatch,\n"
    "906 invalid JAD, 907 invalid JAR, 909 signature, 911 push registration) or -.\n"
    "exit status: 0 without errors, 1 with any error, 2 for a wrong command line\n";

struct CommandLine {
    bool json = false;
    std::string jad;
    std::vector<std::string> jars;
};

// Every option of the program.
void DefineOptions(CLI::App& app, CommandLine& line) {
    app.add_flag("--json", line.json);
    app.add_option("--jad", line.jad)->check(cli::NotEmpty());
    app.add_option("JAR", line.jars);
}

// Reads the command line into `line`; the status to end with when the
// program should not go on. At least one JAR; --jad only with one.
std::optional<int> Parse(int argc, char** argv, CommandLine& line) {
    cli::ProgramOptions options({"quellor-check", kUsage, kHelp},
                                std::string("quellor-check ") + QUELLOR_VERSION);
    DefineOptions(options.App(), line);
    if (const auto status = options.Parse(argc, argv, std::cout, std::cerr)) {
        return status;
    }
    std::string wrong;
    if (line.jars.empty()) {
        wrong = "no JAR given";
    } else if (!line.jad.empty() && line.jars.size() > 1) {
        wrong = "--jad goes with one JAR, not " + std::to_string(line.jars.size());
    }
    if (!wrong.empty()) {
        std::cerr << options.ErrorLine(wrong) << '\n';
        return cli::kUsageStatus;
    }
    return std::nullopt;
}

std::vector<midlet::Finding> Check(const std::string& jar, const std::string& jad) {
    try {
        return midlet::CheckSuite(jar, jad.empty() ? midlet::JadBeside(jar) : jad);
    } catch (const std::exception& e) {
        return {
            {jar, midlet::Severity::Error, 0, {}, std::string("cannot be checked: ") + e.what()}};
    }
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    if (const auto status = Parse(argc, argv, line)) {
        return *status;
    }
    std::vector<midlet::Finding> all;
    for (const std::string& jar : line.jars) {
        const std::vector<midlet::Finding> findings = Check(jar, line.jad);
        if (!line.json) {
            for (const midlet::Finding& finding : findings) {
                std::cout << midlet::FindingLine(finding) << '\n';
            }
        }
        all.insert(all.end(), findings.begin(), findings.end());
    }
    if (line.json) {
        std::cout << midlet::FindingsJson(all);
    }
    std::cout.flush();
    return midlet::HasErrors(all) ? 1 : 0;
}
