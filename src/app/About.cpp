#include "app/About.h"

#include <array>

#include "app/Languages.h"

namespace app {

std::string AboutText() {
    const std::array<std::string, 16> lines = {
        kAppTitle,
        std::string("ver ") + kVersion,
        "",
        "Programmer ",
        "The Quellor developers",
        "",
        "Tester",
        "The Quellor test team",
        "",
        "Links:",
        "· https://quellor.example.org/",
        "· https://quellor.example.org/help/ ",
        "",
        "Free software: use, copy and share it.",
        "",
        "Хотите просмотреть файл помощи ?",
    };
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += '\r';
        }
        text += lines[i];
    }
    return text;
}

}  // namespace app
