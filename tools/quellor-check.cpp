// quellor-check: the installability report, without the window.
//
//   quellor-check [--json] [--info] [--jad FILE] JAR...
//
// For each JAR, the findings of the installation rules for the JAR and its
// JAD (the one given, else the one beside it) and of its facts (what it is,
// the APIs, class files, keys and screen it needs), one line each:
// "FILE: SEVERITY CODE ATTRIBUTE: message"; with --info the facts follow as
// a block of lines. With --json, one JSON object: each suite with its
// findings and facts.
//
// Exit status: 0 without error findings; 1 with any; 2 for a wrong command
// line.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "midlet/InstallCheck.h"
#include "midlet/suite/SuiteFacts.h"
#include "midlet/suite/SuiteFactsReport.h"

namespace {

const char* const kUsage = "usage: quellor-check [--json] [--info] [--jad FILE] JAR...\n";

const char* const kHelp =
    "Predicts what a phone's MIDP installer will say about each JAR and its JAD.\n"
    "\n"
    "options:\n"
    "  --json       print one JSON object whose \"suites\" give each suite's jar,\n"
    "               jad, findings (objects with the keys file, severity, code,\n"
    "               attribute and message) and facts\n"
    "               (default: one line each, FILE: SEVERITY CODE ATTRIBUTE: message)\n"
    "  --info       after each suite's findings, print its facts: what the archive\n"
    "               is, its class files, APIs, the keys it reads, its MIDlet classes\n"
    "               and the screen it was made for\n"
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
    bool info = false;
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
        } else if (args[next] == "--info") {
            line.info = true;
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
        return midlet::CheckSuite(jar, jad);
    } catch (const std::exception& e) {
        return {
            {jar, midlet::Severity::Error, 0, {}, std::string("cannot be checked: ") + e.what()}};
    }
}

// The suite's entry in the JSON object.
std::string SuiteJson(const std::string& jar, const std::string& jad,
                      const std::vector<midlet::Finding>& findings,
                      const midlet::SuiteFacts& facts) {
    std::string findingsJson = midlet::FindingsJson(findings);
    findingsJson.pop_back();  // its line end
    return "{\"jar\": " + midlet::JsonValue(jar) +
           ", \"jad\": " + (jad.empty() ? std::string("null") : midlet::JsonValue(jad)) +
           ", \"findings\": " + findingsJson + ", \"facts\": " + midlet::SuiteFactsJson(facts) +
           "}";
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
    std::vector<std::string> suites;
    for (const std::string& jar : line.jars) {
        const std::string jad = line.jad.empty() ? midlet::JadBeside(jar) : line.jad;
        std::vector<midlet::Finding> findings = Check(jar, jad);
        const midlet::SuiteFacts facts = midlet::ComputeSuiteFacts(jar, jad);
        const std::vector<midlet::Finding> factFindings = midlet::SuiteFactFindings(facts, jar);
        findings.insert(findings.end(), factFindings.begin(), factFindings.end());
        if (line.json) {
            suites.push_back(SuiteJson(jar, jad, findings, facts));
        } else {
            for (const midlet::Finding& finding : findings) {
                std::cout << midlet::FindingLine(finding) << '\n';
            }
            if (line.info) {
                std::cout << midlet::SuiteFactsText(facts, jar);
            }
        }
        all.insert(all.end(), findings.begin(), findings.end());
    }
    if (line.json) {
        std::cout << "{\"suites\": [";
        for (std::size_t i = 0; i < suites.size(); ++i) {
            std::cout << (i > 0 ? ", " : "") << suites[i];
        }
        std::cout << "]}\n";
    }
    std::cout.flush();
    return midlet::HasErrors(all) ? 1 : 0;
}
