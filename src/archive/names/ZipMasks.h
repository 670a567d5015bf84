// File masks: the wildcard matcher of entry names and the collation tables
// behind its case-insensitive comparison of characters. A mask is one
// pattern: "*" is any run of characters (also across "/"), "?" exactly one
// character, anything else itself without regard to case. Characters are
// the code points of the UTF-8 names.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "archive/ZipTypes.h"

namespace archive {

// Built once from the platform's ANSI code page and locale, read-only after.
struct Collation {
    unsigned CodePage = 0;  // the ANSI code page they were built for
    bool Turkish = false;   // dotted and dotless i rules
    // Upper-case form of each byte of a single-byte code page.
    std::array<std::uint8_t, 256> UpperMap{};
    // The byte of a single-byte code page for each character above ASCII it holds.
    std::unordered_map<char32_t, std::uint8_t> Bytes;
};

// Builds the tables for the platform's ANSI code page and locale. Runs by
// itself before the first comparison; call it again after the code pages
// were changed.
void BuildCollationTables();
// Builds them for a given ANSI code page, with or without the Turkish rules.
void BuildCollationTables(unsigned codePage, bool turkish);
const Collation& CollationTables();

// Two characters compare equal: identical; two ASCII characters equal by
// ASCII case folding, in every locale; for a user's mask also characters
// with the same upper-case form (through the upper map when the code page
// holds both, else by Unicode simple case mapping with the Turkish i rules in
// a Turkish locale).
bool SameCharacter(char32_t textChar, char32_t patternChar, MaskText maskText = MaskText::User);

// The whole text matches the pattern; a pattern that is exactly "*.*"
// matches any text.
bool WildcardMatch(std::string_view text, std::string_view pattern,
                   MaskText maskText = MaskText::User);

// A name matches a mask: an empty mask matches nothing; the first "*.*"
// stands for "*"; a mask ending in "." matches only names without extension.
bool MatchesMask(std::string_view name, std::string_view mask, MaskText maskText = MaskText::User);

}  // namespace archive
