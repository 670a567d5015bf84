#include "midlet/AttributeValues.h"

namespace midlet {

namespace {

// Versions of configurations and profiles are compared by their first three
// parts.
constexpr std::size_t kComparedParts = 3;

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string_view::npos;
         start = at + 1) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

// The first three parts of a level as numbers, missing parts 0; nothing
// when a part is not an integer.
std::optional<std::vector<std::int32_t>> LevelParts(std::string_view level) {
    std::vector<std::int32_t> numbers(kComparedParts, 0);
    const std::vector<std::string_view> parts = Split(level, '.');
    for (std::size_t i = 0; i < parts.size() && i < kComparedParts; ++i) {
        const std::optional<std::int32_t> number = ParseJavaInt(parts[i]);
        if (!number) {
            return std::nullopt;
        }
        numbers[i] = *number;
    }
    return numbers;
}

}  // namespace

std::optional<std::int32_t> ParseJavaInt(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > std::int64_t{INT32_MAX} + 1) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

bool IsVersionFormat(std::string_view text) {
    const std::vector<std::string_view> parts = Split(text, '.');
    if (parts.size() > 3) {
        return false;
    }
    for (const std::string_view part : parts) {
        if (!ParseJavaInt(part)) {
            return false;
        }
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) {
        text.remove_suffix(1);
    }
    return text;
}

std::vector<std::string> CommaFields(std::string_view value) {
    std::vector<std::string> fields;
    for (const std::string_view field : Split(value, ',')) {
        fields.emplace_back(TrimBlanks(field));
    }
    return fields;
}

PlatformMatch MatchPlatform(std::string_view wanted, const std::vector<std::string>& offered) {
    const std::size_t dash = wanted.find('-');
    if (dash == std::string_view::npos) {
        return PlatformMatch::Unsupported;
    }
    const std::string_view base = wanted.substr(0, dash);
    for (const std::string& name : offered) {
        const std::size_t offeredDash = name.find('-');
        if (offeredDash == std::string::npos ||
            std::string_view(name).substr(0, offeredDash) != base) {
            continue;
        }
        const auto want = LevelParts(wanted.substr(dash + 1));
        if (!want) {
            return PlatformMatch::Malformed;
        }
        const auto have = LevelParts(std::string_view(name).substr(offeredDash + 1));
        if (have && *want <= *have) {
            return PlatformMatch::Supported;
        }
    }
    return PlatformMatch::Unsupported;
}

std::vector<std::string> BlankSeparatedWords(std::string_view text) {
    std::vector<std::string> words;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ' || text[i] == '\t') {
            if (i > start) {
                words.emplace_back(text.substr(start, i - start));
            }
            start = i + 1;
        }
    }
    return words;
}

}  // namespace midlet
