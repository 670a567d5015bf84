// TForm1: the JAR list of step 1, filled from the open-file dialog and by
// files dropped on the window, and emptied by deleting the selection.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <string>

#include "app/AnsiText.h"
#include "app/ExceptionBox.h"
#include "app/window/MainWindow.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace app {

namespace {

// A dropped path is read into a buffer of 256 characters and a zero.
constexpr std::size_t kDropPathLength = 256;

QString FirstCharacters(const QString& text, std::size_t count) {
    std::u32string characters = text.toStdU32String();
    if (characters.size() > count) {
        characters.resize(count);
    }
    return QString::fromStdU32String(characters);
}

}  // namespace

// After an add or a drop: the count label, the JAR count, and step 2
// enabled exactly when the list holds something.
void TForm1::ListChanged() {
    UpdateCountLabel();
    State.jarCount = list->count();
    step2->setEnabled(State.jarCount > 0);
}

void TForm1::adddClick() {
    if (!opa->Execute()) {
        return;
    }
    for (const std::string& file : opa->Files) {
        list->addItem(FromAnsi(file));
    }
    ListChanged();
}

void TForm1::dellClick() {
    for (int i = list->count() - 1; i >= 0; --i) {
        if (list->item(i)->isSelected()) {
            delete list->takeItem(i);
        }
    }
    UpdateCountLabel();
}

// Only the first file of a drop counts, and only when its extension is
// .jar in any letter case; the list's state is refreshed either way.
void TForm1::WMDropFiles(const std::vector<QString>& dropped) {
    const QString path =
        dropped.empty() ? QString() : FirstCharacters(dropped.front(), kDropPathLength);
    const std::string extension = platform::ExtractFileExt(ToAnsi(path));
    if (platform::AnsiUpperCase(extension) == ".JAR") {
        list->addItem(path);
    }
    ListChanged();
}

void TForm1::ListFiles(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        const std::string extension = platform::AnsiUpperCase(platform::ExtractFileExt(file));
        const std::string jar =
            extension == ".JAD" ? file.substr(0, file.size() - extension.size()) + ".jar" : file;
        if ((extension == ".JAR" || extension == ".JAD") && platform::FileExists(jar)) {
            list->addItem(FromAnsi(platform::ResolvePath(jar)));
        }
    }
    ListChanged();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void TForm1::dropEvent(QDropEvent* event) {
    std::vector<QString> dropped;
    for (const QUrl& url : event->mimeData()->urls()) {
        dropped.push_back(url.toLocalFile());
    }
    Guarded([&] { WMDropFiles(dropped); });
    event->acceptProposedAction();
}

}  // namespace app
