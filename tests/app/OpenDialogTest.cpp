// The real open-file dialog: its filters and folders, and several files
// chosen at once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include "app/OpenDialog.h"

namespace apptest {
namespace {

struct Seen {
    QString folder;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
};

// Answers the dialog once it is up: types `names` into its file name field
// and accepts, or cancels when `names` is empty.
void Answer(Seen& seen, const QString& names) {
    QTimer::singleShot(0, [&seen, names] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seen.folder = dialog->directory().absolutePath();
        seen.filters = dialog->nameFilters();
        seen.mode = dialog->fileMode();
        if (names.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(names);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

TEST(QtOpenDialog, ChoosesSeveralFilesAndReopensWhereTheyWere) {
    QTemporaryDir dir;
    const QString games = dir.path() + "/games";
    QDir().mkpath(games);
    for (const char* name : {"a.jar", "B.JAR"}) {
        QFile file(games + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    app::QtOpenDialog opa;
    opa.InitialDir = games.toStdString() + "/";
    Seen seen;
    Answer(seen, "\"a.jar\" \"B.JAR\"");
    ASSERT_TRUE(opa.Execute());
    EXPECT_EQ(seen.folder, games);
    EXPECT_EQ(seen.filters, QStringList({"JAR files (*.jar)", "all files (*)"}));
    EXPECT_EQ(seen.mode, QFileDialog::ExistingFiles);
    ASSERT_EQ(opa.Files.size(), 2u);
    EXPECT_EQ(opa.Files[0], (games + "/a.jar").toStdString());
    EXPECT_EQ(opa.Files[1], (games + "/B.JAR").toStdString());
    EXPECT_EQ(opa.FileName, opa.Files[0]);

    // Cancelled: the last choice stays, and the dialog opened beside it.
    opa.InitialDir = dir.path().toStdString() + "/";
    Answer(seen, "");
    EXPECT_FALSE(opa.Execute());
    EXPECT_EQ(seen.folder, games);
    EXPECT_EQ(opa.FileName, (games + "/a.jar").toStdString());
}

}  // namespace
}  // namespace apptest
