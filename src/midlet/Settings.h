// The settings file beside the executable: the window's options from one
// start of the program to the next.
#pragma once

#include <string>
#include <string_view>

namespace midlet {

inline constexpr const char* kSettingsFileName = "Brannoc.cfg";

// The seven stored values, with the defaults of a first start.
struct Settings {
    int language = 0;  // [Main] Language: 0 Russian, 1 English, 2 Ukrainian, -1 none
    std::string path;  // [Main] Path: initial folder of the open dialog
    std::string apps = "fs:/card0/Applications/";  // [Java] Apps
    std::string game = "fs:/card0/Games/";         // [Java] Game
    int type = 0;      // [Java] Type: jtype's item index (MidletTypeFromIndex), as stored
    bool ids = true;   // [Java] Ids
    bool icon = true;  // [Java] Icon
};

// An integer as the settings file holds it: decimal with an optional leading
// "-"; after the sign, "$" or (in a text of more than 2 characters) "0x" or
// "0X" starts hexadecimal digits. Anything else, an empty text or a value
// outside the range of int gives `defaultValue`.
int StrToIntDef(std::string_view text, int defaultValue);

// programFolder + "Brannoc.cfg".
std::string SettingsFilePath(const std::string& programFolder);

// Reads the file; never fails (anything missing or unreadable gives its
// default; the Path default is the program folder).
Settings LoadSettings(const std::string& programFolder);

// Writes the seven keys, in the order Main/Language, Main/Path, Java/Apps,
// Java/Game, Java/Type, Java/Ids, Java/Icon, in one replace of the file: a
// kill or a failure leaves all old values or all new ones. A failed save
// throws platform::Exception("Unable to write to " + file path) and changes
// nothing.
void SaveSettings(const Settings& settings, const std::string& programFolder);

}  // namespace midlet
