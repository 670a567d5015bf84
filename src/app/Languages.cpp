#include "app/Languages.h"

#include <cstdlib>
#include <string_view>

namespace app {

namespace {

constexpr LanguageTexts kTexts[kLanguageCount] = {
    {
        "JAR добавлено",
        "JAD сгенерировано",
        "IDS сгенерировано",
        "Открыть папку с готовыми проектами",
        "Распаковать иконку мидлета",
        "Тип мидлета",
        "Приложение",
        "Игра",
        "Путь к приложениям",
        "Путь к играм",
        "Сгенерировать IDS",
        "Сгенерировать JAD",
        "Сгенерировать полный JAD",
        "Сгенерировать простой JAD",
        "Добавить файлы",
        "Удалить выбранное",
        "1. Добавление",
        "2. Настройки",
        "3. Генерация",
        "Файлов добавлено \r",
    },
    {
        "JAR added",
        "JAD generated",
        "IDS generated",
        "Open folder with completed projects",
        "Extract midlet icon",
        "Type of midlet",
        "Application",
        "Game",
        "Path to applications",
        "Path to games",
        "Generate IDS",
        "Generate JAD",
        "Generate full JAD",
        "Generate simple JAD",
        "Add files",
        "Delete selected",
        "1. Adding",
        "2. Settings",
        "3. Generation",
        "Files added \r",
    },
    {
        "JAR додано",
        "JAD зроблено",
        "IDS зроблено",
        "Відкрити теку з проектами",
        "Розпакувати іконку мідлету",
        "Тип мідлету",
        "Програма",
        "Гра",
        "Шлях до програм",
        "Шлях до ігор",
        "Згенерувати IDS",
        "Згенерувати JAD",
        "Зробити повний JAD",
        "Зробити простий JAD",
        "Додати файли",
        "Видалити файли",
        "1. Додати",
        "2. Опції",
        "3. Генерація",
        "Файлів додано \r",
    },
};

}  // namespace

const LanguageTexts* TextsOf(int language) {
    if (language < 0 || language >= kLanguageCount) {
        return nullptr;
    }
    return &kTexts[language];
}

int LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value == nullptr || *value == '\0') {
            continue;
        }
        const std::string_view name(value);
        if (name.substr(0, 2) == "ru") {
            return 0;
        }
        if (name.substr(0, 2) == "uk") {
            return 2;
        }
        return 1;
    }
    return 1;
}

int LanguageOfEnvironment() {
    return LanguageOfLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

}  // namespace app
