// The value forms of MIDlet attributes as the installer reads them:
// integers as the Java runtime parses them, versions of one to three parts,
// comma-separated fields, and configuration and profile names matched
// against what a device offers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace midlet {

// An optional "-" and ASCII digits, within 32 bits; leading zeros are fine.
std::optional<std::int32_t> ParseJavaInt(std::string_view text);

// One to three integers separated by ".".
bool IsVersionFormat(std::string_view text);

// Trimmed of every character up to U+0020, as the installer trims.
std::string_view TrimBlanks(std::string_view text);

// The value split at every comma, each field trimmed.
std::vector<std::string> CommaFields(std::string_view value);

// The words of `text` between spaces and tabs; none for blank text.
std::vector<std::string> BlankSeparatedWords(std::string_view text);

// How a configuration or profile name fares against a device's.
enum class PlatformMatch {
    Supported,
    Unsupported,  // the device offers no such name at that level (908)
    Malformed,    // the level is not a number: the installer stops without a code
};

// `wanted` (e.g. "MIDP-2.1") against the device's names: a name with the
// same part before the first "-" and a level at least as high.
PlatformMatch MatchPlatform(std::string_view wanted, const std::vector<std::string>& offered);

}  // namespace midlet
