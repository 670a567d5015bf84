#include "archive/names/ZipSelect.h"

#include <algorithm>

#include "archive/names/ZipMasks.h"
#include "archive/names/ZipNameCodec.h"
#include "archive/names/ZipStrFunc.h"
#include "platform/CodePage.h"

namespace archive {

namespace {

bool IsAsciiText(std::string_view text) {
    return EntryNameCodec::IsAscii(text);
}

// The position of the last "/" or "\\", or npos; one pass, not a search of
// a set per character.
std::size_t LastDelimiter(std::string_view name) {
    for (std::size_t i = name.size(); i-- > 0;) {
        if (name[i] == '/' || name[i] == '\\') {
            return i;
        }
    }
    return std::string_view::npos;
}

// The folder rule's form of a name or mask: without one trailing "/", with
// "\" separators, its folder part, lower-cased: ASCII letters by ASCII rules,
// the others by the locale (for a fixed mask they stay). A folder part in
// plain ASCII is the same in every code page, so it skips the conversions.
std::string FolderKey(std::string_view name, MaskText maskText) {
    if (!name.empty() && name.back() == '/') {
        name.remove_suffix(1);
    }
    const std::size_t slash = LastDelimiter(name);
    if (slash == std::string_view::npos) {
        return {};
    }
    std::string folder(name.substr(0, slash + 1));
    std::replace(folder.begin(), folder.end(), '/', '\\');
    const std::string ascii = platform::AsciiLowerCase(folder);
    if (maskText == MaskText::Fixed || IsAsciiText(ascii)) {
        return ascii;
    }
    return platform::AnsiLowerCase(platform::Utf8ToAnsi(ascii));
}

// A mask made ready once for a whole search. It answers at once where the
// answer is certain (a mask that is only "*", a mask without wildcards and
// a plain-ASCII name of another length) and leaves the rest to MatchesMask.
class CompiledMask {
  public:
    CompiledMask(std::string_view mask, MaskText maskText) : mask_(mask), maskText_(maskText) {
        matchesAll_ = mask == "*" || mask == "*.*";
        literal_ = !mask.empty() && mask.find_first_of("*?") == std::string_view::npos &&
                   mask.back() != '.' && IsAsciiText(mask);
    }

    // True when no name of this length can match, neither whole nor by its
    // last component, which is shorter still: a literal mask and a name
    // shorter than it. Told from the length alone, without reading the name.
    bool RulesOutLength(std::size_t nameLength) const {
        return literal_ && nameLength < mask_.size();
    }

    bool Matches(std::string_view name) const {
        if (matchesAll_) {
            return true;
        }
        // A literal mask takes exactly its own length in characters, each of
        // one byte or more: a shorter name never matches, a longer one only
        // beyond ASCII. A name ending in "." loses it before the comparison.
        if (literal_) {
            std::string_view text = name;
            if (!text.empty() && text.back() == '.') {
                text.remove_suffix(1);
            }
            if (text.size() < mask_.size() || (text.size() > mask_.size() && IsAsciiText(text))) {
                return false;
            }
        }
        return MatchesMask(name, mask_, maskText_);
    }

  private:
    std::string mask_;
    MaskText maskText_;
    bool matchesAll_ = false;
    bool literal_ = false;
};

// The whole name without one trailing delimiter, or its last component.
bool PassesNameRule(std::string_view name, const CompiledMask& mask) {
    if (mask.RulesOutLength(name.size())) {
        return false;
    }
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) {
        name.remove_suffix(1);
    }
    if (mask.Matches(name)) {
        return true;
    }
    const std::size_t slash = LastDelimiter(name);
    return slash != std::string_view::npos && mask.Matches(name.substr(slash + 1));
}

bool PassesAttributeRule(std::uint32_t attributes, std::uint32_t searchAttr) {
    return (attributes & ~searchAttr & SearchAttrRuleBits) == 0;
}

// The folder rule, then the cheaper attribute rule, then the name.
bool EntryMatches(std::string_view name, std::uint32_t attributes, const SearchRec& search,
                  bool recurse, const CompiledMask& mask, const std::string& maskFolder) {
    if (!recurse && FolderKey(name, search.Text) != maskFolder) {
        return false;
    }
    return PassesAttributeRule(attributes, search.SearchAttr) && PassesNameRule(name, mask);
}

bool EntryMatches(const TDirItem& entry, const SearchRec& search, bool recurse,
                  const CompiledMask& mask, const std::string& maskFolder) {
    return EntryMatches(entry.Name, entry.Header.ExternalAttributes, search, recurse, mask,
                        maskFolder);
}

// Whether entry `index` matches. An entry not made yet has its stored name
// for its name (any other is made when the directory is read), so it is
// judged from its header and made only when it matches.
bool IndexMatches(TZipDirArray& directory, int index, const SearchRec& search, bool recurse,
                  const CompiledMask& mask, const std::string& maskFolder) {
    if (!directory.IsMade(index)) {
        const DirectoryBytes& bytes = *directory.UnmadeSource();
        return EntryMatches(bytes.StoredName(index), bytes.ExternalAttributes(index), search,
                            recurse, mask, maskFolder);
    }
    return EntryMatches(directory.ItemAt(index), search, recurse, mask, maskFolder);
}

int FindMatching(const TZipDirArray& directory, SearchRec& search, bool recurse,
                 const CompiledMask& mask, const std::string& maskFolder) {
    for (int i = search.NextIndex; i < directory.Count(); ++i) {
        if (EntryMatches(directory.ItemAt(i), search, recurse, mask, maskFolder)) {
            search.NextIndex = i;
            return i;
        }
    }
    return -1;
}

}  // namespace

std::string PrepareMask(const std::string& mask, TZipStorePathMode storePath) {
    std::string prepared = mask;
    if (storePath != spFullPathWithDrive) {
        prepared.erase(0, ExtractFileDrive(prepared).size());
    }
    return ReplaceChar(prepared, '\\', '/');
}

int FindMatchingEntry(const TZipDirArray& directory, SearchRec& search, bool recurse) {
    const CompiledMask mask(search.Mask, search.Text);
    const std::string maskFolder = recurse ? std::string() : FolderKey(search.Mask, search.Text);
    return FindMatching(directory, search, recurse, mask, maskFolder);
}

void SelectEntries(TZipDirArray& directory, const std::string& mask, std::uint32_t searchAttr,
                   const std::string& exclusionMask, const TZipOptions& options,
                   MaskText maskText) {
    SearchRec search;
    search.Mask = PrepareMask(mask, options.StorePath);
    search.SearchAttr = searchAttr;
    search.ExclusionMask = exclusionMask;
    search.Text = maskText;
    // The mask and its folder are made ready once for the whole list.
    const CompiledMask compiled(search.Mask, search.Text);
    const std::string maskFolder =
        options.Recurse ? std::string() : FolderKey(search.Mask, search.Text);
    // Every entry is marked in the one pass that tests it: the matching
    // ones selected, all others not (an entry not made stays unselected).
    for (int i = 0; i < directory.Count(); ++i) {
        const bool matches =
            IndexMatches(directory, i, search, options.Recurse, compiled, maskFolder);
        if (matches || directory.IsMade(i)) {
            directory.ItemAt(i).Selected = matches;
        }
    }
}

}  // namespace archive
