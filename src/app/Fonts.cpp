#include "app/Fonts.h"

#include <QFontDatabase>
#include <QString>

namespace app {

void RegisterWindowFonts() {
    static const bool registered = [] {
        for (const char* file : {"tahoma.ttf", "tahomabd.ttf", "ms_sans_serif.ttf"}) {
            QFontDatabase::addApplicationFont(QString(kWineFontFolder) + file);
        }
        return true;
    }();
    (void)registered;
}

QFont PixelFont(const char* family, int pixels, bool bold) {
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QFont WindowFont() {
    return PixelFont(kTahoma, 11);
}

QFont TitleFont() {
    return PixelFont(kTitleFace, 32, true);
}

QFont StepFont() {
    return PixelFont(kStepFace, 13);
}

}  // namespace app
