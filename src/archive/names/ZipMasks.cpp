#include "archive/names/ZipMasks.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "archive/names/ZipStrFunc.h"
#include "platform/CodePage.h"

namespace archive {

namespace {

constexpr char32_t DotlessSmallI = 0x0131;
constexpr char32_t DottedCapitalI = 0x0130;

Collation& Tables() {
    static Collation tables;
    return tables;
}
// Built once, by the first thread that compares names; threads that come
// meanwhile wait for it.
std::atomic<bool> tablesBuilt{false};
std::mutex tablesMutex;

// The fixed upper map of the Turkish code page 1254.
void FillTurkishUpperMap(std::array<std::uint8_t, 256>& map) {
    for (int b = 0x61; b <= 0x7A; ++b) {
        map[b] = static_cast<std::uint8_t>(b - 0x20);
    }
    map[0x69] = 0xDD;  // i -> dotted capital I
    map[0xFD] = 0x49;  // dotless i -> I
    for (int b = 0xE0; b <= 0xFE; ++b) {
        if (b != 0xF7 && b != 0xFD) {  // division sign; dotless i above
            map[b] = static_cast<std::uint8_t>(b - 0x20);
        }
    }
    map[0x9A] = 0x8A;  // s caron
    map[0x9C] = 0x8C;  // oe
    map[0xFF] = 0x9F;  // y diaeresis
}

bool IsAscii(char32_t c) {
    return c < 0x80;
}

char32_t AsciiUpper(char32_t c) {
    return c >= U'a' && c <= U'z' ? c - U'a' + U'A' : c;
}

// The code page's byte for a character, or -1 when it holds none.
int ByteOf(const Collation& tables, char32_t c) {
    if (c < 0x80) {
        return static_cast<int>(c);
    }
    const auto found = tables.Bytes.find(c);
    return found == tables.Bytes.end() ? -1 : found->second;
}

char32_t UnicodeUpper(const Collation& tables, char32_t c) {
    if (tables.Turkish && c == U'i') {
        return DottedCapitalI;
    }
    if (tables.Turkish && c == DotlessSmallI) {
        return U'I';
    }
    return platform::SimpleUpper(c);
}

std::u32string CodePoints(std::string_view text) {
    std::u32string result;
    result.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        result.push_back(platform::DecodeUtf8(text, pos));
    }
    return result;
}

// The matcher of one text against one pattern. Every "*" tries the rest of
// the pattern from each remaining text position in turn. A try that fails
// from text position t fails from every later position too, once all of them
// were tried; each star keeps the first position of that failed run
// (`failedFrom_`), so no text position is tried twice after the same star and
// the match takes time proportional to text times pattern, never exponential.
class WildcardMatcher {
  public:
    WildcardMatcher(std::u32string text, std::u32string pattern, MaskText maskText)
        : text_(std::move(text)),
          pattern_(std::move(pattern)),
          maskText_(maskText),
          starAt_(pattern_.size(), -1) {
        for (std::size_t p = 0; p < pattern_.size(); ++p) {
            if (pattern_[p] == U'*') {
                starAt_[p] = static_cast<int>(failedFrom_.size());
                failedFrom_.push_back(text_.size());
            }
        }
    }

    bool Match() { return Try(0, 0); }

  private:
    // One try: the text from `t` against the pattern from `p`.
    bool Try(std::size_t t, std::size_t p) {
        // A pattern that is exactly "*.*".
        if (pattern_.compare(p, std::u32string::npos, U"*.*") == 0) {
            return true;
        }
        // Walk both.
        for (;;) {
            const std::size_t left = pattern_.size() - p;
            if (left == 1 && pattern_[p] == U'*') {
                return true;
            }
            if (t == text_.size()) {
                return left == 0;
            }
            if (left == 0) {
                return false;
            }
            const char32_t c = pattern_[p];
            if (c == U'*') {
                return TryAfterStar(t, p);
            }
            if (c != U'?' && !SameCharacter(text_[t], c, maskText_)) {
                return false;
            }
            ++t;
            ++p;
        }
    }

    // The rest of the pattern after the star at `p`, from text positions t,
    // t + 1, ... up to the last character (the empty rest is not tried).
    bool TryAfterStar(std::size_t t, std::size_t p) {
        std::size_t& failedFrom = failedFrom_[starAt_[p]];
        for (std::size_t k = t; k < failedFrom; ++k) {
            if (Try(k, p + 1)) {
                return true;
            }
        }
        failedFrom = std::min(failedFrom, t);
        return false;
    }

    std::u32string text_;
    std::u32string pattern_;
    MaskText maskText_;
    std::vector<int> starAt_;              // index of the star at each pattern position
    std::vector<std::size_t> failedFrom_;  // per star
};

}  // namespace

void BuildCollationTables() {
    BuildCollationTables(platform::GetACP(), platform::IsTurkishLocale());
}

void BuildCollationTables(unsigned codePage, bool turkish) {
    Collation& tables = Tables();
    tables = Collation{};
    tables.CodePage = codePage;
    tables.Turkish = turkish;
    for (int b = 0; b < 256; ++b) {
        tables.UpperMap[b] = static_cast<std::uint8_t>(b);
    }
    if (codePage == platform::CP_UTF8) {
        // Only ASCII is a single byte; other characters go by code point.
        for (int b = 'a'; b <= 'z'; ++b) {
            tables.UpperMap[b] = static_cast<std::uint8_t>(b - 0x20);
        }
        tablesBuilt.store(true, std::memory_order_release);
        return;
    }
    // The characters of the code page: ASCII, and above it what the code
    // page defines.
    std::array<char32_t, 256> characters{};
    for (int b = 0; b < 0x80; ++b) {
        characters[b] = static_cast<char32_t>(b);
    }
    for (int b = 0x80; b < 256; ++b) {
        const std::string utf8 = platform::ConvertCodePage(std::string(1, static_cast<char>(b)),
                                                           codePage, platform::CP_UTF8);
        std::size_t pos = 0;
        const char32_t c = utf8.empty() ? 0 : platform::DecodeUtf8(utf8, pos);
        if (!utf8.empty() && pos == utf8.size() && c >= 0x80 && c != 0xFFFD) {
            tables.Bytes.emplace(c, static_cast<std::uint8_t>(b));
            characters[b] = c;
        }
    }
    // The platform compares single characters by their byte values, so the
    // 256 bytes are in a strict order and the upper map alone decides.
    // Turkish has its fixed map; otherwise each character's upper-case form,
    // where the code page holds it.
    if (turkish) {
        FillTurkishUpperMap(tables.UpperMap);
    } else {
        for (int b = 1; b < 256; ++b) {
            const int upper =
                characters[b] == 0 ? -1 : ByteOf(tables, platform::SimpleUpper(characters[b]));
            if (upper >= 0) {
                tables.UpperMap[b] = static_cast<std::uint8_t>(upper);
            }
        }
    }
    tablesBuilt.store(true, std::memory_order_release);
}

const Collation& CollationTables() {
    if (!tablesBuilt.load(std::memory_order_acquire)) {
        const std::lock_guard lock(tablesMutex);
        if (!tablesBuilt.load(std::memory_order_relaxed)) {
            BuildCollationTables();
        }
    }
    return Tables();
}

bool SameCharacter(char32_t textChar, char32_t patternChar, MaskText maskText) {
    if (textChar == patternChar) {
        return true;
    }
    // ASCII letters go by ASCII rules in every locale: the I of a stored name
    // is the i of a mask under the Turkish rules too.
    if (IsAscii(textChar) && IsAscii(patternChar)) {
        return AsciiUpper(textChar) == AsciiUpper(patternChar);
    }
    if (maskText == MaskText::Fixed) {
        return false;
    }
    const Collation& tables = CollationTables();
    if (tables.CodePage != platform::CP_UTF8) {
        const int a = ByteOf(tables, textChar);
        const int b = ByteOf(tables, patternChar);
        if (a >= 0 && b >= 0) {
            return tables.UpperMap[a] == tables.UpperMap[b];
        }
    }
    return UnicodeUpper(tables, textChar) == UnicodeUpper(tables, patternChar);
}

bool WildcardMatch(std::string_view text, std::string_view pattern, MaskText maskText) {
    // Without a "*" every pattern character takes exactly one character of
    // the text, so texts of another length never match. For ASCII texts the
    // length is the byte count, and most names of a large archive are
    // turned down here without being decoded.
    const auto isAscii = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    if (text.size() != pattern.size() && pattern.find('*') == std::string_view::npos &&
        isAscii(text) && isAscii(pattern)) {
        return false;
    }
    return WildcardMatcher(CodePoints(text), CodePoints(pattern), maskText).Match();
}

bool MatchesMask(std::string_view name, std::string_view mask, MaskText maskText) {
    // An empty mask matches nothing.
    if (mask.empty()) {
        return false;
    }
    // The first "*.*" stands for "*".
    std::string pattern(mask);
    const std::size_t anyExt = mask.find("*.*");
    if (anyExt != std::string_view::npos) {
        pattern = std::string(mask.substr(0, anyExt)) + "*" + std::string(mask.substr(anyExt + 3));
    }
    // A mask ending in "." loses it.
    const bool noExtension = mask.back() == '.';
    if (noExtension) {
        pattern.pop_back();
    }
    // So does the name.
    std::string_view text = name;
    if (!text.empty() && text.back() == '.') {
        text.remove_suffix(1);
    }
    // Match.
    bool result = WildcardMatch(text, pattern, maskText);
    // A mask ending in "." wants a name without extension.
    if (result && noExtension) {
        const std::string ext = ExtensionOfBackslashPath(name);
        result = ext.empty() || ext == ".";
    }
    return result;
}

}  // namespace archive
