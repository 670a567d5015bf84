// The mask matcher: the first byte of the input picks the collation tables,
// the rest is split at its first NUL byte (or in the middle when it has none)
// into a name and a mask. WildcardMatch is checked
// against a plain memoised reading of the matching rules, and MatchesMask and
// the entry selection run on the same two strings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "archive/names/ZipMasks.h"
#include "archive/names/ZipSelect.h"
#include "platform/CodePage.h"

namespace {

std::u32string CodePoints(std::string_view text) {
    std::u32string result;
    std::size_t pos = 0;
    while (pos < text.size()) {
        result.push_back(platform::DecodeUtf8(text, pos));
    }
    return result;
}

// The matching rules taken literally, one recursive call per try, with the
// result of each (text position, pattern position) remembered.
class ReferenceMatcher {
  public:
    ReferenceMatcher(std::u32string text, std::u32string pattern)
        : text_(std::move(text)),
          pattern_(std::move(pattern)),
          memo_((text_.size() + 1) * (pattern_.size() + 1), kUnknown) {}

    bool Match() { return Try(0, 0); }

  private:
    static constexpr std::int8_t kUnknown = -1;

    bool Try(std::size_t t, std::size_t p) {
        std::int8_t& known = memo_[t * (pattern_.size() + 1) + p];
        if (known == kUnknown) {
            known = Walk(t, p) ? 1 : 0;
        }
        return known == 1;
    }

    bool Walk(std::size_t t, std::size_t p) {
        // A pattern that is exactly "*.*" matches anything.
        if (pattern_.compare(p, std::u32string::npos, U"*.*") == 0) {
            return true;
        }
        // Otherwise character by character: a last star takes the rest, a
        // star tries every split, a question mark takes any character.
        for (;; ++t, ++p) {
            if (p + 1 == pattern_.size() && pattern_[p] == U'*') {
                return true;
            }
            if (t == text_.size()) {
                return p == pattern_.size();
            }
            if (p == pattern_.size()) {
                return false;
            }
            if (pattern_[p] == U'*') {
                for (std::size_t k = t; k < text_.size(); ++k) {
                    if (Try(k, p + 1)) {
                        return true;
                    }
                }
                return false;
            }
            if (pattern_[p] != U'?' && !archive::SameCharacter(text_[t], pattern_[p])) {
                return false;
            }
        }
    }

    std::u32string text_;
    std::u32string pattern_;
    std::vector<std::int8_t> memo_;
};

// The tables the first byte picks: the platform's, or a code page with or
// without the Turkish rules. They are rebuilt only when the choice changes.
struct Collation {
    unsigned codePage;  // 0: the platform's code page and locale
    bool turkish;
};
constexpr Collation kCollations[] = {{0, false},
                                     {1252, false},
                                     {1254, true},
                                     {1251, false},
                                     {platform::CP_UTF8, false},
                                     {platform::CP_UTF8, true}};

void UseCollation(std::uint8_t choice) {
    static int current = -1;
    const int index = choice % static_cast<int>(std::size(kCollations));
    if (index == current) {
        return;
    }
    const Collation& collation = kCollations[index];
    if (collation.codePage == 0) {
        archive::BuildCollationTables();
    } else {
        archive::BuildCollationTables(collation.codePage, collation.turkish);
    }
    current = index;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    UseCollation(data[0]);
    const std::string_view input = fuzz::AsText(data + 1, size - 1);
    std::size_t split = input.find('\0');
    std::size_t rest = split + 1;
    if (split == std::string_view::npos) {
        split = input.size() / 2;
        rest = split;
    }
    const std::string name(input.substr(0, split));
    const std::string mask(input.substr(rest));

    const bool matched = archive::WildcardMatch(name, mask);
    if (matched != ReferenceMatcher(CodePoints(name), CodePoints(mask)).Match()) {
        fuzz::Fail("WildcardMatch disagrees with the reference for name \"" + name +
                   "\" and mask \"" + mask + "\"");
    }
    archive::MatchesMask(name, mask);

    // The mask as the entry selection prepares it, against one entry. The
    // list is kept: a new one allocates room for hundreds of entries.
    static archive::TZipDirArray directory;
    directory.SetCount(1);
    directory.SetItemName(0, platform::Utf8ToAnsi(name));
    archive::TZipOptions options;
    archive::SelectEntries(directory, mask, 10431, "", options);
    options.Recurse = false;
    archive::SelectEntries(directory, mask, 0, "", options);
    return 0;
}
