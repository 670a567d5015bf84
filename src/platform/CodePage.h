// Code pages and letter case.
#pragma once

#include <string>
#include <string_view>

namespace platform {

inline constexpr unsigned CP_UTF8 = 65001;

// The ANSI and OEM code pages of the user's locale (65001/65001 for UTF-8
// and C locales, 1251/866 Cyrillic, 1254/857 Turkish, 1252/437 otherwise).
unsigned GetACP();
unsigned GetOEMCP();
// Tests and tools may set them explicitly; 0 goes back to the locale's.
void SetCodePages(unsigned ansi, unsigned oem);
// True when the locale (or the code pages set) is Turkish.
bool IsTurkishLocale();
// The locale the environment names now (LC_ALL, LC_CTYPE, LANG) is the
// locale of the rest of the process: later changes of the variables are
// not looked for. Programs call it at their start, before any thread;
// without it every conversion looks the variables up again, as tests that
// change them need.
void KeepLocaleForTheProcess();

// Conversions with iconv; a character the target cannot hold becomes "?".
std::string ConvertCodePage(std::string_view text, unsigned from, unsigned to);
std::string OemToChar(std::string_view text);  // OEM -> ANSI
std::string CharToOem(std::string_view text);  // ANSI -> OEM
std::string AnsiToUtf8(std::string_view text);
std::string Utf8ToAnsi(std::string_view text);

// Letter case in the ANSI code page: per code point in UTF-8 (Unicode simple
// case mapping, independent of the process locale), per byte through the
// code page otherwise. Turkish i rules only in a Turkish locale.
std::string AnsiLowerCase(std::string_view text);
std::string AnsiUpperCase(std::string_view text);
int AnsiCompareText(std::string_view a, std::string_view b);  // <0, 0, >0
bool AnsiSameText(std::string_view a, std::string_view b);

// Names that are not a user's text (the settings file's sections and keys,
// the program's own fixed names): ASCII letters fold by ASCII rules whatever
// the locale, other characters as AnsiSameText folds them but never by the
// Turkish i rules, and an ASCII character never equals one beyond ASCII.
bool SameInvariantText(std::string_view a, std::string_view b);
// Only the ASCII letters A-Z lowered; every other byte stays.
std::string AsciiLowerCase(std::string_view text);

// Unicode helpers on code points (UTF-8 text), for matchers that walk
// characters: decode one code point (invalid bytes give U+FFFD and advance
// one byte), simple lower/upper case of one code point.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos);
std::string EncodeUtf8(char32_t cp);
char32_t SimpleLower(char32_t cp);
char32_t SimpleUpper(char32_t cp);

}  // namespace platform
