// Selecting the entries of the open archive that an operation works on: by
// file mask (whole name or last component), folder and attributes.
#pragma once

#include <cstdint>
#include <string>

#include "archive/ZipArchiver.h"
#include "archive/directory/ZipDirArray.h"

namespace archive {

// Attribute bits the attribute rule looks at: hidden, system, volume label, folder.
inline constexpr std::uint32_t SearchAttrRuleBits = 0x1E;

// The state of one entry search.
struct SearchRec {
    std::string Mask;  // prepared: no drive part, "/" separators
    std::uint32_t SearchAttr = 0;
    std::string ExclusionMask;  // carried along, not consulted
    int NextIndex = 0;          // where the search goes on
    MaskText Text = MaskText::User;
};

// The mask as searches use it: without its drive part (unless the store path
// mode keeps drives), every "\" turned into "/".
std::string PrepareMask(const std::string& mask, TZipStorePathMode storePath);

// The index of the next entry, from search.NextIndex on, that passes the
// folder rule (only when `recurse` is false), the name rule and the attribute
// rule; search.NextIndex becomes it. -1 when the list is exhausted.
int FindMatchingEntry(const TZipDirArray& directory, SearchRec& search, bool recurse);

// Sets the Selected mark of every matching entry and clears it on all others.
void SelectEntries(TZipDirArray& directory, const std::string& mask, std::uint32_t searchAttr,
                   const std::string& exclusionMask, const TZipOptions& options,
                   MaskText maskText = MaskText::User);

}  // namespace archive
