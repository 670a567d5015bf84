// Walks the real window through its steps and saves one picture per step:
//   quellor-screenshot OUTPUT_FOLDER JAR...
// The window works in a fresh program folder of its own; the JARs are what
// the open-file dialog "chooses" in step 1.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "app/AnsiText.h"
#include "app/QtDialogs.h"
#include "app/window/MainWindow.h"
#include "platform/Paths.h"

namespace {

// The open-file dialog, answered with the files named on the command line.
class ChosenFiles : public app::IOpenDialog {
  public:
    explicit ChosenFiles(std::vector<std::string> files) : files_(std::move(files)) {}
    bool Execute() override {
        Files = files_;
        if (!Files.empty()) {
            FileName = Files.front();
        }
        return !Files.empty();
    }

  private:
    std::vector<std::string> files_;
};

class Shots {
  public:
    Shots(app::TForm1& form, QString folder) : form_(form), folder_(std::move(folder)) {}

    void Save(const char* name) {
        QTest::qWait(50);
        const QString file = folder_ + "/" + name + ".png";
        if (!form_.grab().save(file)) {
            std::fprintf(stderr, "quellor-screenshot: cannot write %s\n", qPrintable(file));
        }
    }

    void SaveBox(QMessageBox& box, const char* name) {
        box.show();
        QApplication::processEvents();
        box.grab().save(folder_ + "/" + name + ".png");
    }

  private:
    app::TForm1& form_;
    QString folder_;
};

// A click given to the native window at the centre of a control.
void Click(QWidget* widget) {
    QWidget* window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      widget->mapTo(window, widget->rect().center()));
}

void MoveOver(QWidget& form, QWidget* widget) {
    QTest::mouseMove(&form, widget->mapTo(&form, widget->rect().center()));
    QTest::qWait(100);  // the display server delivers the move in its own time
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "Usage: quellor-screenshot OUTPUT_FOLDER JAR...\n");
        return 2;
    }
    int qtArgs = 1;
    QApplication application(qtArgs, argv);
    const QString output = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(output);
    std::vector<std::string> jars;
    for (int i = 2; i < argc; ++i) {
        jars.push_back(app::ToAnsi(QDir(QString::fromLocal8Bit(argv[i])).absolutePath()));
    }

    QTemporaryDir programFolder;
    QDir(programFolder.path()).mkpath("temp");
    QDir(programFolder.path()).mkpath("projects");
    platform::SetProgramFolder(app::ToAnsi(programFolder.path() + "/"));

    app::QtDialogs dialogs;
    platform::DialogsGuard hook(dialogs);
    app::TForm1 form(std::make_unique<ChosenFiles>(jars));
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        std::fprintf(stderr, "quellor-screenshot: the window did not appear\n");
        return 1;
    }
    Shots shots(form, output);

    shots.Save("1-start");

    // English, then the files of step 1 with two of them selected.
    form.lang->setFocus();
    QTest::keyClick(form.lang, Qt::Key_Down);
    Click(form.addd);
    for (int i = 0; i < form.list->count() && i < 2; ++i) {
        form.list->item(i)->setSelected(true);
    }
    MoveOver(form, form.step1);
    shots.Save("2-step1-list");

    Click(form.step2);
    MoveOver(form, form.step2);
    shots.Save("3-step2-options");

    dialogs.beforeShow = [&](QMessageBox& box) {
        QTimer::singleShot(0, &box, [&] {
            shots.SaveBox(box, "4-step3-failure");
            box.accept();
        });
    };
    Click(form.step3);
    MoveOver(form, form.lefter);
    shots.Save("4-step3-progress");

    Click(form.pro);
    MoveOver(form, form.goto_pro);
    shots.Save("5-summary");

    dialogs.beforeShow = [&](QMessageBox& box) {
        QTimer::singleShot(0, &box, [&] {
            shots.SaveBox(box, "6-about");
            box.done(0);
        });
    };
    MoveOver(form, form.Label3);
    Click(form.Label3);
    shots.Save("7-after-about");
    return 0;
}
