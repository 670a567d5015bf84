// The program: the application, the one window, and its message loop.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/QtDialogs.h"
#include "app/window/MainWindow.h"

namespace {

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

// The program reads no command line: Qt is given the program's name only.
// Without a display it says so in one line instead of Qt's plugin message.
int main(int, char* argv[]) {
    if (!HasDisplay()) {
        std::fputs(
            "quellor: no display (DISPLAY and WAYLAND_DISPLAY are not set); "
            "use quellor-batch without one\n",
            stderr);
        return 1;
    }
    int argCount = 1;
    QApplication application(argCount, argv);
    app::QtDialogs dialogs;
    platform::DialogsGuard hook(dialogs);
    app::TForm1 form;
    form.show();
    return application.exec();
}
