// Letter case: per code point in UTF-8 (Unicode simple case mapping of a
// fixed "C.UTF-8" locale object, so the process locale never matters), per
// byte through a single-byte code page otherwise.
#include <locale.h>
#include <wctype.h>

#include <array>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/CodePage.h"
#include "platform/CodePageTable.h"

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kCapitalDottedI = 0x0130;
constexpr char32_t kSmallDotlessI = 0x0131;

locale_t UnicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

char32_t ToLower(char32_t cp, bool turkish) {
    if (turkish && cp == U'I') {
        return kSmallDotlessI;
    }
    if (turkish && cp == kCapitalDottedI) {
        return U'i';
    }
    return SimpleLower(cp);
}

char32_t ToUpper(char32_t cp, bool turkish) {
    if (turkish && cp == U'i') {
        return kCapitalDottedI;
    }
    if (turkish && cp == kSmallDotlessI) {
        return U'I';
    }
    return SimpleUpper(cp);
}

using CaseTable = std::array<unsigned char, 256>;

// The byte-to-byte case table of a single-byte code page: a letter whose
// other case the code page cannot hold stays as it is.
CaseTable BuildCaseTable(unsigned codePage, bool upper, bool turkish) {
    CaseTable result;
    for (unsigned byte = 0; byte < 256; ++byte) {
        result[byte] = static_cast<unsigned char>(byte);
    }
    ByteTable bytes;
    if (!SingleByteTable(codePage, bytes)) {
        for (unsigned byte = 'A'; byte <= 'Z'; ++byte) {
            result[upper ? byte - 'A' + 'a' : byte] =
                static_cast<unsigned char>(upper ? byte : byte - 'A' + 'a');
        }
        return result;
    }
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (bytes[byte] == kUndefinedByte) {
            continue;
        }
        char32_t mapped = upper ? ToUpper(bytes[byte], turkish) : ToLower(bytes[byte], turkish);
        if (mapped == bytes[byte]) {
            continue;
        }
        for (unsigned other = 0; other < 256; ++other) {
            if (bytes[other] == mapped) {
                result[byte] = static_cast<unsigned char>(other);
                break;
            }
        }
    }
    return result;
}

const CaseTable& CaseTableFor(unsigned codePage, bool upper, bool turkish) {
    static std::mutex mutex;
    static std::map<std::tuple<unsigned, bool, bool>, CaseTable> tables;
    std::lock_guard lock(mutex);
    auto key = std::make_tuple(codePage, upper, turkish);
    auto found = tables.find(key);
    if (found == tables.end()) {
        found = tables.emplace(key, BuildCaseTable(codePage, upper, turkish)).first;
    }
    return found->second;
}

std::string ChangeCase(std::string_view text, bool upper, bool turkish) {
    const unsigned codePage = GetACP();
    std::string result;
    result.reserve(text.size());
    if (codePage != CP_UTF8) {
        const CaseTable& table = CaseTableFor(codePage, upper, turkish);
        for (char c : text) {
            result += static_cast<char>(table[static_cast<unsigned char>(c)]);
        }
        return result;
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t start = pos;
        char32_t cp = DecodeUtf8(text, pos);
        if (cp == kReplacement && pos - start == 1) {
            result += text[start];  // not UTF-8: the byte stays as it is
            continue;
        }
        result += EncodeUtf8(upper ? ToUpper(cp, turkish) : ToLower(cp, turkish));
    }
    return result;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAscii(char32_t c) {
    return c < 0x80;
}

// One character of each text at a time: a code point of UTF-8 text (a stray
// byte stands for itself), else one byte of the code page.
char32_t NextCharacter(std::string_view text, std::size_t& pos, bool utf8) {
    if (!utf8) {
        return static_cast<unsigned char>(text[pos++]);
    }
    const std::size_t start = pos;
    const char32_t cp = DecodeUtf8(text, pos);
    if (cp == kReplacement && pos - start == 1) {
        return 0x110000 + static_cast<unsigned char>(text[start]);  // beyond every code point
    }
    return cp;
}

}  // namespace

char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return kReplacement;
    }
    if (text.size() - pos < length) {
        ++pos;
        return kReplacement;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            ++pos;
            return kReplacement;
        }
        cp = cp << 6 | (byte(pos + i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return kReplacement;
    }
    pos += length;
    return cp;
}

std::string EncodeUtf8(char32_t cp) {
    std::string out;
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = kReplacement;
    }
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// Plain ASCII maps by itself, so a process whose names are all ASCII never
// loads the locale object.
char32_t SimpleLower(char32_t cp) {
    if (cp < 0x80) {
        return cp >= U'A' && cp <= U'Z' ? cp - U'A' + U'a' : cp;
    }
    locale_t locale = UnicodeLocale();
    if (locale == static_cast<locale_t>(0)) {
        return cp >= U'A' && cp <= U'Z' ? cp - U'A' + U'a' : cp;
    }
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), locale));
}

char32_t SimpleUpper(char32_t cp) {
    if (cp < 0x80) {
        return cp >= U'a' && cp <= U'z' ? cp - U'a' + U'A' : cp;
    }
    locale_t locale = UnicodeLocale();
    if (locale == static_cast<locale_t>(0)) {
        return cp >= U'a' && cp <= U'z' ? cp - U'a' + U'A' : cp;
    }
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), locale));
}

std::string AnsiLowerCase(std::string_view text) {
    return ChangeCase(text, false, IsTurkishLocale());
}

std::string AnsiUpperCase(std::string_view text) {
    return ChangeCase(text, true, IsTurkishLocale());
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    int order = AnsiLowerCase(a).compare(AnsiLowerCase(b));
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    return AnsiCompareText(a, b) == 0;
}

bool SameInvariantText(std::string_view a, std::string_view b) {
    const unsigned codePage = GetACP();
    const bool utf8 = codePage == CP_UTF8;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = NextCharacter(a, i, utf8);
        const char32_t y = NextCharacter(b, j, utf8);
        if (x == y) {
            continue;
        }
        if (IsAscii(x) || IsAscii(y)) {
            if (!IsAscii(x) || !IsAscii(y) ||
                AsciiLower(static_cast<char>(x)) != AsciiLower(static_cast<char>(y))) {
                return false;
            }
        } else if (!utf8) {
            const CaseTable& lower = CaseTableFor(codePage, false, false);
            if (lower[x] != lower[y]) {
                return false;
            }
        } else if (SimpleLower(x) != SimpleLower(y)) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

std::string AsciiLowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = AsciiLower(c);
    }
    return result;
}

}  // namespace platform
