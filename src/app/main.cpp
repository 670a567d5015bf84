// The program: the application, the one window, and its message loop.
#include <QApplication>

#include "app/QtDialogs.h"
#include "app/Unit1.h"

// The program reads no command line: Qt is given the program's name only.
int main(int, char* argv[]) {
    int argCount = 1;
    QApplication application(argCount, argv);
    app::QtDialogs dialogs;
    platform::DialogsGuard hook(dialogs);
    app::TForm1 form;
    form.show();
    return application.exec();
}
