// The interface texts of the three languages (0 Russian, 1 English,
// 2 Ukrainian) and the texts that are the same in every language.
#pragma once

namespace app {

inline constexpr int kLanguageCount = 3;

// The captions ApplyLanguage sets, in the order it sets them.
struct LanguageTexts {
    const char* s1;
    const char* s2;
    const char* s3;
    const char* goto_pro;
    const char* ico_gen;
    const char* jtype;
    const char* jtypeApplication;
    const char* jtypeGame;
    const char* app_path;
    const char* game_path;
    const char* ids_gen;
    const char* jad_gen;
    const char* jadFull;
    const char* jadSimple;
    const char* addd;
    const char* dell;
    const char* step1;
    const char* step2;
    const char* step3;
    // The words before the number of listed files, ending in " \r".
    const char* countPrefix;
};

// Texts of a language index; nullptr for an index other than 0, 1 or 2.
const LanguageTexts* TextsOf(int language);

// The language of a first start (no settings file yet) for the locale the
// user runs in: the first of LC_ALL, LC_MESSAGES and LANG that is set and
// not empty decides, as for every program's messages; "ru..." gives
// Russian, "uk..." Ukrainian, anything else (none set too) English.
int LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang);
// The same for this process's environment.
int LanguageOfEnvironment();

// The items of the language chooser, in index order.
inline constexpr const char* kLanguageNames[kLanguageCount] = {"Русский", "English", "Українська"};

inline constexpr const char* kAppTitle = "Quellor";
inline constexpr const char* kLanguageLabel = "Язык/Language";
inline constexpr const char* kVersionLabel = "version 1.6 build 18/8/2007 \r by Tolmar (Rusk) ";
inline constexpr const char* kVersion = "1.6 build 18/8/2007";

}  // namespace app
