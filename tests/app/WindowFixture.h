// A fresh window in a fresh program folder, with the dialog hook and the
// open-file dialog answered by the test.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWindow>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/window/MainWindow.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace apptest {

// The open-file dialog, answering with planned choices (an empty choice is a
// cancel). It keeps its file name between uses as the real one does.
class ChosenFiles : public app::IOpenDialog {
  public:
    std::deque<std::vector<std::string>> choices;
    int shown = 0;
    std::string folderAtLastShow;

    bool Execute() override {
        ++shown;
        folderAtLastShow = FileName.empty() ? InitialDir : platform::ExtractFilePath(FileName);
        if (choices.empty() || choices.front().empty()) {
            if (!choices.empty()) {
                choices.pop_front();
            }
            return false;
        }
        Files = choices.front();
        choices.pop_front();
        FileName = Files.front();
        return true;
    }
};

class WindowTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        folder_ = dir_.path().toStdString() + "/";
        platform::SetProgramFolder(folder_);
    }
    void TearDown() override {
        form_.reset();
        platform::SetProgramFolder("");
    }

    std::string Folder() const { return folder_; }
    std::string SettingsFile() const { return folder_ + "Brannoc.cfg"; }

    void WriteSettings(const std::string& text) {
        QFile file(QString::fromStdString(SettingsFile()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.c_str());
    }

    std::string ReadFile(const std::string& path) {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::ReadOnly)) {
            return "<missing>";
        }
        return file.readAll().toStdString();
    }

    // A real file in the test folder.
    std::string MakeFile(const std::string& relative, const std::string& content = "PK") {
        const QString path = QString::fromStdString(folder_ + relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(content.c_str());
        return path.toStdString();
    }

    app::TForm1& Form() {
        if (!form_) {
            auto dialog = std::make_unique<ChosenFiles>();
            opa_ = dialog.get();
            form_ = std::make_unique<app::TForm1>(std::move(dialog));
            form_->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        }
        return *form_;
    }

    ChosenFiles& Opa() {
        Form();
        return *opa_;
    }

    // Picks a language as the user does: the chooser takes the focus and
    // the arrow keys walk to the item.
    void ChooseLanguage(int index) {
        QComboBox* lang = Form().lang;
        lang->setFocus();
        while (lang->currentIndex() < index) {
            QTest::keyClick(lang, Qt::Key_Down);
        }
        while (lang->currentIndex() > index) {
            QTest::keyClick(lang, Qt::Key_Up);
        }
    }

    // A click of the left button at a point of a control (its centre by
    // default), given to the native window: whatever lies there on screen
    // takes it.
    void Click(QWidget* widget, Qt::KeyboardModifiers modifiers = {}, QPoint at = {}) {
        QWidget* window = widget->window();
        const QPoint point = widget->mapTo(window, at.isNull() ? widget->rect().center() : at);
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, modifiers, point);
    }

    // A double-click of the left button, given to the native window as the
    // desktop gives it: press, release, press, release within the interval.
    void DoubleClick(QWidget* widget, QPoint at = {}) {
        QWidget* window = widget->window();
        const QPoint point = widget->mapTo(window, at.isNull() ? widget->rect().center() : at);
        QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, point);
    }

    void ClickItem(QListWidget* list, int row, Qt::KeyboardModifiers modifiers = {}) {
        Click(list->viewport(), modifiers, list->visualItemRect(list->item(row)).center());
    }

    void AddThroughDialog(const std::vector<std::string>& files) {
        Opa().choices.push_back(files);
        Click(Form().addd);
    }

    // Drops files on the window from outside, as the desktop does: the
    // native window finds the control under the pointer that takes drops.
    void Drop(const std::vector<std::string>& paths, QWidget* target = nullptr) {
        QWidget* on = target ? target : &Form();
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& path : paths) {
            urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
        }
        data.setUrls(urls);
        const QPoint at = on->mapTo(&Form(), on->rect().center());
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Form().windowHandle(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Form().windowHandle(), &drop);
        ASSERT_TRUE(drop.isAccepted());
    }

    // The ids of the panels shown, e.g. "1" or "3".
    std::string ShownPanels() {
        std::string shown;
        const app::PlainPanel* panels[] = {Form().Panel1, Form().Panel2, Form().Panel3,
                                           Form().Panel4};
        for (int i = 0; i < 4; ++i) {
            if (!panels[i]->isHidden()) {
                shown += static_cast<char>('1' + i);
            }
        }
        return shown;
    }

    platform::ScriptedDialogs dialogs;

  private:
    QTemporaryDir dir_;
    std::string folder_;
    platform::DialogsGuard guard_{dialogs};
    ChosenFiles* opa_ = nullptr;
    std::unique_ptr<app::TForm1> form_;
};

inline QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace apptest
