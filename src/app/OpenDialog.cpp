#include "app/OpenDialog.h"

#include <QApplication>
#include <QFileDialog>

#include "app/AnsiText.h"
#include "platform/Paths.h"

namespace app {

bool QtOpenDialog::Execute() {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters({QStringLiteral("JAR files (*.jar)"), QStringLiteral("all files (*)")});
    const std::string folder = FileName.empty() ? InitialDir : platform::ExtractFilePath(FileName);
    if (!folder.empty()) {
        dialog.setDirectory(FromAnsi(folder));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    Files.clear();
    for (const QString& file : dialog.selectedFiles()) {
        Files.push_back(ToAnsi(file));
    }
    if (Files.empty()) {
        return false;
    }
    FileName = Files.front();
    return true;
}

}  // namespace app
