// Step 1: the JAR list filled through the open-file dialog and by drops,
// the selection deleted, and the count label in the interface language.
#include "app/WindowFixture.h"

namespace apptest {
namespace {

std::vector<std::string> Listed(app::TForm1& f) {
    std::vector<std::string> paths;
    for (int i = 0; i < f.list->count(); ++i) {
        paths.push_back(f.list->item(i)->text().toStdString());
    }
    return paths;
}

TEST_F(WindowTest, DialogAddsEveryChosenFileInOrder) {
    app::TForm1& f = Form();
    ChooseLanguage(1);
    const std::string b = MakeFile("games/b.jar");
    const std::string a = MakeFile("games/a.jar");
    const std::string txt = MakeFile("other/readme.txt");
    // No settings file yet: the home folder, not the program's data folder.
    EXPECT_EQ(Opa().InitialDir, QDir::homePath().toStdString() + "/");
    AddThroughDialog({b, a});
    EXPECT_EQ(Listed(f), (std::vector<std::string>{b, a}));
    EXPECT_EQ(f.f_count->Caption(), Q("Files added \r2"));
    EXPECT_EQ(f.f_count->text(), Q("Files added \n2"));
    EXPECT_EQ(f.State.jarCount, 2);
    EXPECT_TRUE(f.step2->isEnabled());
    // The same file again, and any file with the other filter.
    AddThroughDialog({b, txt});
    EXPECT_EQ(Listed(f), (std::vector<std::string>{b, a, b, txt}));
    EXPECT_EQ(f.State.jarCount, 4);
    // The dialog opens where the last choice was made.
    AddThroughDialog({});
    EXPECT_EQ(Opa().folderAtLastShow, Folder() + "games/");
}

// The files a file manager hands over on the command line: each JAR, and
// for a JAD the JAR beside it; anything else is passed over.
TEST_F(WindowTest, CommandLineFilesAreListed) {
    app::TForm1& f = Form();
    const std::string a = MakeFile("a.jar");
    const std::string b = MakeFile("b.JAR");
    MakeFile("c.jad");
    const std::string d = MakeFile("d.jar");
    MakeFile("d.jad");
    const std::string txt = MakeFile("readme.txt");
    f.ListFiles({a, b, Folder() + "c.jad", Folder() + "d.jad", txt, Folder() + "missing.jar"});
    EXPECT_EQ(Listed(f), (std::vector<std::string>{a, b, d}));
    EXPECT_EQ(f.State.jarCount, 3);
    EXPECT_TRUE(f.step2->isEnabled());
}

TEST_F(WindowTest, CancelledDialogChangesNothing) {
    app::TForm1& f = Form();
    AddThroughDialog({MakeFile("a.jar")});
    Click(f.dell);  // nothing selected: the label is rewritten, nothing else
    ChooseLanguage(1);
    const QString label = f.f_count->Caption();
    AddThroughDialog({});
    EXPECT_EQ(Opa().shown, 2);
    EXPECT_EQ(f.list->count(), 1);
    EXPECT_EQ(f.f_count->Caption(), label);
    EXPECT_EQ(f.State.jarCount, 1);
    EXPECT_TRUE(f.step2->isEnabled());
}

TEST_F(WindowTest, DropAddsOnlyTheFirstFileAndOnlyAJar) {
    app::TForm1& f = Form();
    ChooseLanguage(1);
    const std::string game = MakeFile("GAME.Jar");
    Drop({game});
    EXPECT_EQ(Listed(f), (std::vector<std::string>{game}));
    EXPECT_TRUE(f.step2->isEnabled());

    const std::string one = MakeFile("one.jar");
    Drop({one, MakeFile("two.jar"), MakeFile("three.jar")});
    EXPECT_EQ(Listed(f), (std::vector<std::string>{game, one}));
    EXPECT_EQ(f.State.jarCount, 2);

    // A file of another kind is ignored, but the label is rewritten.
    ChooseLanguage(0);
    Drop({MakeFile("game.jar.bak"), MakeFile("four.jar")});
    Drop({MakeFile("noextension")});
    Drop({MakeFile("dotted.folder/file")});
    EXPECT_EQ(f.list->count(), 2);
    EXPECT_EQ(f.f_count->Caption(), Q("Файлов добавлено \r2"));

    // A folder named like a JAR is taken as it is; so is a drop on an edit.
    QDir().mkpath(QString::fromStdString(Folder() + "folder.jar"));
    f.step2Click();
    Drop({Folder() + "folder.jar"}, f.game_path);
    EXPECT_EQ(f.list->count(), 3);
    EXPECT_EQ(f.game_path->text(), "fs:/card0/Games/");
    // Drops leave the dialog's file name empty.
    EXPECT_EQ(Opa().FileName, "");
}

TEST_F(WindowTest, DroppedPathIsCutToTwoHundredFiftySixCharacters) {
    app::TForm1& f = Form();
    // 256 characters ending in ".jar", then more: the cut path is listed.
    const std::string head = "/" + std::string(251, 'a') + ".jar";
    ASSERT_EQ(head.size(), 256u);
    Drop({head + "/inner.txt"});
    ASSERT_EQ(f.list->count(), 1);
    EXPECT_EQ(f.list->item(0)->text().toStdString(), head);
    // A long JAR path whose cut end is no longer ".jar" is ignored.
    Drop({"/" + std::string(300, 'b') + ".jar"});
    EXPECT_EQ(f.list->count(), 1);
    // Characters, not bytes: Cyrillic letters count one each.
    std::string cyrillic = "/";
    for (int i = 0; i < 251; ++i) {
        cyrillic += "ж";
    }
    Drop({cyrillic + ".jar" + "/x"});
    ASSERT_EQ(f.list->count(), 2);
    EXPECT_EQ(f.list->item(1)->text().size(), 256);
}

TEST_F(WindowTest, DeleteRemovesTheSelectionAndRecountsOnly) {
    app::TForm1& f = Form();
    ChooseLanguage(1);
    AddThroughDialog({MakeFile("a.jar"), MakeFile("b.jar"), MakeFile("c.jar"), MakeFile("d.jar")});
    ClickItem(f.list, 0);
    ClickItem(f.list, 2, Qt::ControlModifier);
    Click(f.dell);
    EXPECT_EQ(Listed(f), (std::vector<std::string>{Folder() + "b.jar", Folder() + "d.jar"}));
    EXPECT_EQ(f.f_count->Caption(), Q("Files added \r2"));
    EXPECT_EQ(f.State.jarCount, 4);

    ClickItem(f.list, 0);
    ClickItem(f.list, 1, Qt::ShiftModifier);
    Click(f.dell);
    EXPECT_EQ(f.list->count(), 0);
    EXPECT_EQ(f.f_count->Caption(), Q("Files added \r0"));
    EXPECT_EQ(f.State.jarCount, 4);
    EXPECT_TRUE(f.step2->isEnabled());
}

}  // namespace
}  // namespace apptest
