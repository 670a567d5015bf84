// The window's fonts. Tahoma and MS Sans Serif come from the Wine font
// package; the title face and the step labels use free faces close to the
// designed ones: a heavy narrow grotesque for the title and a wide humanist
// sans for the steps.
#pragma once

#include <QFont>

namespace app {

inline constexpr const char* kWineFontFolder = "/usr/share/wine/fonts/";
inline constexpr const char* kTahoma = "Tahoma";
inline constexpr const char* kSansSerif = "MS Sans Serif";
inline constexpr const char* kTitleFace = "Liberation Sans Narrow";
inline constexpr const char* kStepFace = "DejaVu Sans";
// The bold caption of the icon check box: MS Sans Serif has no bold face,
// and the Tahoma bold of the Wine package draws its regular strokes; this
// face, close to both, has a bold that is drawn.
inline constexpr const char* kBoldFace = "Liberation Sans";

// Makes Tahoma and MS Sans Serif known to the application. Safe to call
// more than once.
void RegisterWindowFonts();

// A font of a face at a pixel height.
QFont PixelFont(const char* family, int pixels, bool bold = false);

QFont WindowFont();  // Tahoma, 11 pixels
QFont TitleFont();   // the title "Quellor": 32 pixels
QFont StepFont();    // the step labels: 13 pixels

}  // namespace app
