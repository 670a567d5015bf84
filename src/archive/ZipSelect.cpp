#include "archive/ZipSelect.h"

#include "archive/ZipMasks.h"
#include "archive/ZipStrFunc.h"
#include "platform/CodePage.h"

namespace archive {

namespace {

// The folder rule's form of a name or mask: without one trailing "/", with
// "\" separators, its folder part, lower-cased: ASCII letters by ASCII rules,
// the others by the locale (for a fixed mask they stay).
std::string FolderKey(const std::string& name, MaskText maskText) {
    std::string path = name;
    if (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    const std::string folder = ExtractFolderPart(ReplaceChar(path, '/', '\\'));
    const std::string ascii = platform::AsciiLowerCase(folder);
    if (maskText == MaskText::Fixed) {
        return ascii;
    }
    return platform::AnsiLowerCase(platform::Utf8ToAnsi(ascii));
}

bool PassesNameRule(const std::string& name, const std::string& mask, MaskText maskText) {
    const std::string full = ExcludeTrailingSlash(name);
    return MatchesMask(full, mask, maskText) ||
           MatchesMask(LastNameComponent(full), mask, maskText);
}

bool PassesAttributeRule(std::uint32_t attributes, std::uint32_t searchAttr) {
    return (attributes & ~searchAttr & SearchAttrRuleBits) == 0;
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
    const std::string maskFolder = recurse ? std::string() : FolderKey(search.Mask, search.Text);
    for (int i = search.NextIndex; i < directory.Count(); ++i) {
        const TDirItem& entry = directory.ItemAt(i);
        // Without Recurse, only entries in the mask's own folder.
        if (!recurse && FolderKey(entry.Name, search.Text) != maskFolder) {
            continue;
        }
        // The name rule, then the attribute rule.
        if (PassesNameRule(entry.Name, search.Mask, search.Text) &&
            PassesAttributeRule(entry.Header.ExternalAttributes, search.SearchAttr)) {
            // The first entry that passes.
            search.NextIndex = i;
            return i;
        }
    }
    return -1;
}

void SelectEntries(TZipDirArray& directory, const std::string& mask, std::uint32_t searchAttr,
                   const std::string& exclusionMask, const TZipOptions& options,
                   MaskText maskText) {
    // Nothing is selected to begin with.
    directory.ClearSelected();
    // The search record with the prepared mask.
    SearchRec search;
    search.Mask = PrepareMask(mask, options.StorePath);
    search.SearchAttr = searchAttr;
    search.ExclusionMask = exclusionMask;
    search.Text = maskText;
    // Every matching entry.
    for (int i = FindMatchingEntry(directory, search, options.Recurse); i >= 0;
         i = FindMatchingEntry(directory, search, options.Recurse)) {
        directory.ItemAt(i).Selected = true;
        search.NextIndex = i + 1;
    }
}

}  // namespace archive
