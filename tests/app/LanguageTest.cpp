// The interface languages: every caption, the radio groups that keep their
// choice, the count label that waits for the next change of the list, and
// the window without a language.
#include <cstdlib>

#include "app/Languages.h"
#include "app/WindowFixture.h"

namespace apptest {
namespace {

// The 19 captions in the order the language sets them.
std::vector<QString> Captions(app::TForm1& f) {
    return {f.s1->Caption(),
            f.s2->Caption(),
            f.s3->Caption(),
            f.goto_pro->Caption(),
            f.ico_gen->text(),
            f.jtype->title(),
            f.jtype->ItemText(0),
            f.jtype->ItemText(1),
            f.app_path->EditLabel->Caption(),
            f.game_path->EditLabel->Caption(),
            f.ids_gen->text(),
            f.jad_gen->title(),
            f.jad_gen->ItemText(0),
            f.jad_gen->ItemText(1),
            f.addd->text(),
            f.dell->text(),
            f.step1->Caption(),
            f.step2->Caption(),
            f.step3->Caption()};
}

std::vector<QString> Expected(std::initializer_list<const char*> texts) {
    std::vector<QString> out;
    for (const char* t : texts) {
        out.push_back(Q(t));
    }
    return out;
}

// The language of a first start follows the locale's message language.
TEST(FirstStartLanguage, FollowsTheLocale) {
    const struct {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        int language;
    } cases[] = {
        {nullptr, nullptr, nullptr, 1},
        {nullptr, nullptr, "ru_RU.UTF-8", 0},
        {nullptr, nullptr, "uk_UA.UTF-8", 2},
        {nullptr, nullptr, "en_US.UTF-8", 1},
        {nullptr, nullptr, "C", 1},
        {"", "uk_UA", "ru_RU", 2},             // an empty variable counts as unset
        {"en_GB.UTF-8", "ru_RU", "ru_RU", 1},  // LC_ALL wins
        {nullptr, "ru_RU.KOI8-R", "uk_UA", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::LanguageOfLocale(c.lcAll, c.lcMessages, c.lang), c.language)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}

// Without a settings file a Russian locale gives the Russian window.
TEST_F(WindowTest, FirstStartSpeaksRussian) {
    const char* old = std::getenv("LC_ALL");
    const std::string saved = old != nullptr ? old : "";
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    app::TForm1& f = Form();
    old != nullptr ? setenv("LC_ALL", saved.c_str(), 1) : unsetenv("LC_ALL");
    EXPECT_EQ(f.lang->currentIndex(), 0);
    EXPECT_EQ(f.lang->count(), 3);
    EXPECT_EQ(f.lang->itemText(2), Q("Українська"));
    EXPECT_EQ(f.Label1->Caption(), Q("Язык/Language"));
    EXPECT_EQ(Captions(f),
              Expected({"JAR добавлено", "JAD сгенерировано", "IDS сгенерировано",
                        "Открыть папку с готовыми проектами", "Распаковать иконку мидлета",
                        "Тип мидлета", "Приложение", "Игра", "Путь к приложениям", "Путь к играм",
                        "Сгенерировать IDS", "Сгенерировать JAD", "Сгенерировать полный JAD",
                        "Сгенерировать простой JAD", "Добавить файлы", "Удалить выбранное",
                        "1. Добавление", "2. Настройки", "3. Генерация"}));
}

TEST_F(WindowTest, SwitchingLanguageOnStepTwoKeepsTheChoices) {
    app::TForm1& f = Form();
    ChooseLanguage(1);
    AddThroughDialog({MakeFile("a.jar")});
    EXPECT_EQ(f.f_count->Caption(), Q("Files added \r1"));
    Click(f.step2);
    EXPECT_EQ(ShownPanels(), "2");
    Click(f.jtype->Button(1));
    Click(f.jad_gen->Button(1));
    ASSERT_EQ(f.jtype->ItemIndex(), 1);
    ASSERT_EQ(f.jad_gen->ItemIndex(), 1);
    EXPECT_EQ(
        Captions(f),
        Expected({"JAR added", "JAD generated", "IDS generated",
                  "Open folder with completed projects", "Extract midlet icon", "Type of midlet",
                  "Application", "Game", "Path to applications", "Path to games", "Generate IDS",
                  "Generate JAD", "Generate full JAD", "Generate simple JAD", "Add files",
                  "Delete selected", "1. Adding", "2. Settings", "3. Generation"}));

    ChooseLanguage(2);
    EXPECT_EQ(Captions(f),
              Expected({"JAR додано", "JAD зроблено", "IDS зроблено", "Відкрити теку з проектами",
                        "Розпакувати іконку мідлету", "Тип мідлету", "Програма", "Гра",
                        "Шлях до програм", "Шлях до ігор", "Згенерувати IDS", "Згенерувати JAD",
                        "Зробити повний JAD", "Зробити простий JAD", "Додати файли",
                        "Видалити файли", "1. Додати", "2. Опції", "3. Генерація"}));
    EXPECT_EQ(f.jtype->ItemIndex(), 1);
    EXPECT_TRUE(f.jtype->Button(1)->isChecked());
    EXPECT_EQ(f.jad_gen->ItemIndex(), 1);
    EXPECT_TRUE(f.jad_gen->Button(1)->isChecked());
    EXPECT_EQ(ShownPanels(), "2");
    // The count label keeps its words until the list changes.
    EXPECT_EQ(f.f_count->Caption(), Q("Files added \r1"));
    Click(f.step1);
    Click(f.dell);
    EXPECT_EQ(f.f_count->Caption(), Q("Файлів додано \r1"));
    // The step labels fit their new text.
    EXPECT_EQ(f.step1->size(), f.step1->sizeHint());
}

TEST_F(WindowTest, UnknownStoredLanguageShowsTheDesignCaptions) {
    WriteSettings("[Main]\r\nLanguage=7\r\n[Java]\r\nType=1\r\n");
    app::TForm1& f = Form();
    EXPECT_EQ(f.lang->currentIndex(), -1);
    EXPECT_EQ(f.step1->Caption(), "step1");
    EXPECT_EQ(f.step2->Caption(), "step2");
    EXPECT_EQ(f.step3->Caption(), "step3");
    EXPECT_EQ(f.jad_gen->title(), "jad_gen");
    EXPECT_EQ(f.jtype->title(), "java type");
    EXPECT_EQ(f.ids_gen->text(), "ids_gen");
    EXPECT_EQ(f.ico_gen->text(), "ico_gen");
    EXPECT_EQ(f.game_path->EditLabel->Caption(), "game_path");
    EXPECT_EQ(f.app_path->EditLabel->Caption(), "app_path");
    EXPECT_EQ(f.addd->text(), "");
    EXPECT_EQ(f.dell->text(), "");
    EXPECT_EQ(f.jtype->Count(), 0);
    EXPECT_EQ(f.jad_gen->Count(), 0);

    // The list changes without touching the count label, and step 2 keeps
    // the full JAD kind for when the items arrive.
    AddThroughDialog({MakeFile("a.jar"), MakeFile("b.jar")});
    EXPECT_EQ(f.f_count->Caption(), "");
    EXPECT_TRUE(f.step2->isEnabled());
    Click(f.step2);
    EXPECT_EQ(f.jad_gen->ItemIndex(), 0);

    ChooseLanguage(1);
    EXPECT_EQ(f.step1->Caption(), "1. Adding");
    ASSERT_EQ(f.jtype->Count(), 2);
    EXPECT_TRUE(f.jtype->Button(1)->isChecked());  // the stored type, kept while hidden
    EXPECT_TRUE(f.jad_gen->Button(0)->isChecked());
    EXPECT_EQ(f.f_count->Caption(), "");
    Click(f.step1);
    Drop({MakeFile("c.jar")});
    EXPECT_EQ(f.f_count->Caption(), Q("Files added \r3"));
}

TEST_F(WindowTest, RadioGroupFitsItsIndexToItsItems) {
    app::RadioGroup& group = *Form().jtype;
    group.SetItemIndex(-5);
    EXPECT_EQ(group.ItemIndex(), -1);
    EXPECT_FALSE(group.Button(0)->isChecked() || group.Button(1)->isChecked());
    group.SetItemIndex(9);
    EXPECT_EQ(group.ItemIndex(), 1);
    group.SetItems({});
    group.SetItemIndex(9);
    EXPECT_EQ(group.ItemIndex(), 9);  // kept until items arrive
    group.SetItems({"a", "b"});
    EXPECT_EQ(group.ItemIndex(), 1);
    EXPECT_TRUE(group.Button(1)->isChecked());
}

}  // namespace
}  // namespace apptest
