// The program: the command line, the application, the one window, and its
// message loop.
#include <QApplication>

#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/QtDialogs.h"
#include "app/window/MainWindow.h"
#include "cli/ProgramOptions.h"
#include "platform/CodePage.h"
#include "platform/CommandLine.h"
#include "platform/Paths.h"

namespace {

const char* const kUsage = "Usage: quellor [OPTION]... [FILE]...\n";

std::string Help() {
    return "Opens the window that prepares Java ME MIDlet suites for installation from a\n"
           "phone's memory card, with the JARs given listed (for a JAD, the JAR beside\n"
           "it). quellor-batch does the same without a window.\n"
           "\n"
           "options:\n"
           "  -h, --help   print this text and exit\n"
           "  -V, --version\n"
           "               print the version and exit\n"
           "\n"
           "The settings file, temp/ and projects/ are kept beside the program when a file\n"
           "named quellor.portable is there (a build or a portable copy), else in\n"
           "$XDG_DATA_HOME/quellor (default: ~/.local/share/quellor).\n";
}

// Every option of the program: --help and --version come with the parser.
void DefineOptions(CLI::App& app, std::vector<std::string>& files) {
    app.add_option("FILE", files);
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Whether Qt has somewhere to show the window: an X or Wayland display, or
// a platform plugin chosen that needs neither (offscreen, minimal, vnc...).
bool HasDisplay() {
    const char* platformName = std::getenv("QT_QPA_PLATFORM");
    if (platformName != nullptr && *platformName != '\0') {
        const std::string_view chosen(platformName);
        if (chosen.find("xcb") == std::string_view::npos &&
            chosen.find("wayland") == std::string_view::npos) {
            return true;
        }
    }
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

}  // namespace

// Qt is given the program's name only: the command line is ours. Without a
// display the program says so in one line instead of Qt's plugin message.
int main(int argc, char* argv[]) {
    // A run's letter case and code pages follow the locale it started in.
    platform::KeepLocaleForTheProcess();
    cli::ProgramOptions options({"quellor", kUsage, Help()},
                                std::string("quellor ") + QUELLOR_VERSION);
    std::vector<std::string> files;
    DefineOptions(options.App(), files);
    if (const auto status = options.Parse(argc, argv, std::cout, std::cerr)) {
        return *status;
    }
    if (!HasDisplay()) {
        std::cerr << "quellor: no display (DISPLAY and WAYLAND_DISPLAY are not set); "
                     "use quellor-batch without one\n";
        return 1;
    }
    for (std::string& file : files) {
        file = platform::ExpandFileName(file);
    }
    int argCount = 1;
    QApplication application(argCount, argv);
    app::QtDialogs dialogs;
    platform::DialogsGuard hook(dialogs);
    app::TForm1 form;
    form.ListFiles(files);
    form.show();
    return application.exec();
}
