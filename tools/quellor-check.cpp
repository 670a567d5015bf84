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
#include <string>
#include <vector>

#include "midlet/CheckRun.h"
#include "platform/Paths.h"

namespace {

const char* const kUsage =
    "usage: quellor-check [--json] [--info] [--jad FILE] [--device NAME] [--devices-file FILE]\n"
    "                     [--date YYYY-MM-DD] JAR...\n"
    "       quellor-check [--devices-file FILE] --devices\n";

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
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
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
    bool listDevices = false;
};

// Options first; "--" ends them. At least one JAR, --jad only with one;
// --devices without JARs.
bool Parse(const std::vector<std::string>& args, CommandLine& line) {
    std::size_t next = 0;
    const auto value = [&](std::string& text) {
        if (next + 1 >= args.size() || args[next + 1].empty()) {
            return false;
        }
        text = args[++next];
        return true;
    };
    for (; next < args.size() && args[next].rfind("--", 0) == 0; ++next) {
        const std::string& option = args[next];
        std::string text;
        bool ok = true;
        if (option == "--") {
            ++next;
            break;
        } else if (option == "--json") {
            line.request.json = true;
        } else if (option == "--info") {
            line.request.info = true;
        } else if (option == "--jad") {
            ok = value(line.request.jad);
        } else if (option == "--device") {
            ok = value(line.device);
        } else if (option == "--devices-file") {
            ok = value(text);
            line.deviceFiles.push_back(text);
        } else if (option == "--date") {
            ok = value(text) && midlet::ParseDate(text, line.request.now);
        } else if (option == "--devices") {
            line.listDevices = true;
        } else {
            ok = false;
        }
        if (!ok) {
            return false;
        }
    }
    line.request.jars.assign(args.begin() + static_cast<std::ptrdiff_t>(next), args.end());
    if (line.listDevices) {
        return line.request.jars.empty();
    }
    return !line.request.jars.empty() &&
           (line.request.jad.empty() || line.request.jars.size() == 1);
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
