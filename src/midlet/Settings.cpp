#include "midlet/Settings.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "platform/Errors.h"
#include "platform/Profile.h"

namespace midlet {

namespace {

// The profile services return at most this many characters minus one.
constexpr std::size_t kReadBufferSize = 2048;

int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

std::string ReadString(const std::string& file, const char* section, const char* key,
                       const std::string& defaultValue) {
    return platform::GetPrivateProfileString(section, key, defaultValue, kReadBufferSize, file);
}

int ReadInteger(const std::string& file, const char* section, const char* key, int defaultValue) {
    return StrToIntDef(ReadString(file, section, key, ""), defaultValue);
}

bool ReadBool(const std::string& file, const char* section, const char* key, bool defaultValue) {
    return ReadInteger(file, section, key, defaultValue ? 1 : 0) != 0;
}

std::string IntegerText(int value) {
    return std::to_string(value);
}

std::string BoolText(bool value) {
    return value ? "1" : "0";
}

}  // namespace

int StrToIntDef(std::string_view text, int defaultValue) {
    const bool negative = text.starts_with('-');
    std::string_view digits = negative ? text.substr(1) : text;
    int base = 10;
    if (digits.starts_with('$')) {
        base = 16;
        digits.remove_prefix(1);
    } else if (text.size() > 2 && (digits.starts_with("0x") || digits.starts_with("0X"))) {
        base = 16;
        digits.remove_prefix(2);
    }
    if (digits.empty()) {
        return defaultValue;
    }
    // The magnitude may reach one past the largest int for a negative value.
    const std::int64_t limit =
        static_cast<std::int64_t>(std::numeric_limits<int>::max()) + (negative ? 1 : 0);
    std::int64_t magnitude = 0;
    for (const char c : digits) {
        const int digit = DigitValue(c, base);
        if (digit < 0) {
            return defaultValue;
        }
        magnitude = magnitude * base + digit;
        if (magnitude > limit) {
            return defaultValue;
        }
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

std::string SettingsFilePath(const std::string& programFolder) {
    return programFolder + kSettingsFileName;
}

Settings LoadSettings(const std::string& programFolder) {
    const std::string file = SettingsFilePath(programFolder);
    const Settings defaults;
    Settings settings;
    settings.language = ReadInteger(file, "Main", "Language", defaults.language);
    settings.path = ReadString(file, "Main", "Path", programFolder);
    settings.apps = ReadString(file, "Java", "Apps", defaults.apps);
    settings.game = ReadString(file, "Java", "Game", defaults.game);
    settings.type = ReadInteger(file, "Java", "Type", defaults.type);
    settings.ids = ReadBool(file, "Java", "Ids", defaults.ids);
    settings.icon = ReadBool(file, "Java", "Icon", defaults.icon);
    return settings;
}

void SaveSettings(const Settings& settings, const std::string& programFolder) {
    const std::string file = SettingsFilePath(programFolder);
    const std::vector<platform::ProfileString> writes = {
        {"Main", "Language", IntegerText(settings.language)},
        {"Main", "Path", settings.path},
        {"Java", "Apps", settings.apps},
        {"Java", "Game", settings.game},
        {"Java", "Type", IntegerText(settings.type)},
        {"Java", "Ids", BoolText(settings.ids)},
        {"Java", "Icon", BoolText(settings.icon)},
    };
    if (!platform::WritePrivateProfileStrings(writes, file)) {
        throw platform::Exception("Unable to write to " + file);
    }
}

}  // namespace midlet
