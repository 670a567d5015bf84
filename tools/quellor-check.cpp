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
#include <string>
#include <vector>

#include "midlet/InstallCheck.h"

namespace {

const char* const kUsage = "usage: quellor-check [--json] [--jad FILE] JAR...\n";

const char* const kHelp =
    "Predicts what a phone's MIDP installer will say about each JAR and its JAD.\n"
    "\n"
    "options:\n"
    "  --json       print the findings as one JSON array of objects with the keys\n"
    "               file, severity, code, attribute and message\n"
    "               (default: one line each, FILE: SEVERITY CODE ATTRIBUTE: message)\n"
    "  --jad FILE   the JAD to check with the one JAR given\n"
    "               (default: the JAR's name with .jad, when that file exists)\n"
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "CODE is the installer's status code (904 JAR size, 905 attribute mismatch,\n"
    "906 invalid JAD, 907 invalid JAR, 909 signature, 911 push registration) or -.\n"
    "exit status: 0 without errors, 1 with any error, 2 for a wrong command line\n";

struct CommandLine {
    bool json = false;
    std::string jad;
    std::vector<std::string> jars;
};

// Options first; "--" ends them. At least one JAR; --jad only with one.
bool Parse(const std::vector<std::string>& args, CommandLine& line) {
    std::size_t next = 0;
    for (; next < args.size() && args[next].rfind("--", 0) == 0; ++next) {
        if (args[next] == "--") {
            ++next;
            break;
        } else if (args[next] == "--json") {
            line.json = true;
        } else if (args[next] == "--jad" && next + 1 < args.size() && !args[next + 1].empty()) {
            line.jad = args[++next];
        } else {
            return false;
        }
    }
    line.jars.assign(args.begin() + static_cast<std::ptrdiff_t>(next), args.end());
    return !line.jars.empty() && (line.jad.empty() || line.jars.size() == 1);
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
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage << '\n' << kHelp;
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "quellor-check " << QUELLOR_VERSION << '\n';
        return 0;
    }
    CommandLine line;
    if (!Parse(args, line)) {
        std::cerr << kUsage;
        return 2;
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
