// Selecting the entries of an archive's directory by mask, folder and
// attributes.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CodecSupport.h"
#include "archive/directory/ZipDirManager.h"
#include "archive/names/ZipMasks.h"
#include "archive/names/ZipSelect.h"
#include "platform/CodePage.h"
#include "platform/Stream.h"

namespace archive {
namespace {

using Names = std::vector<std::string>;

constexpr std::uint32_t ProgramSearchAttr = 10431;  // 0x28BF

// A directory of entries: a name ending in "/" is a folder.
void FillWithAttributes(TZipDirArray& directory,
                        const std::vector<std::pair<std::string, std::uint32_t>>& entries) {
    directory.SetCount(static_cast<int>(entries.size()));
    for (int i = 0; i < directory.Count(); ++i) {
        directory.SetItemName(i, entries[i].first);
        directory.ItemAt(i).Header.ExternalAttributes = entries[i].second;
    }
}

void Fill(TZipDirArray& directory, const Names& names) {
    std::vector<std::pair<std::string, std::uint32_t>> entries;
    for (const std::string& name : names) {
        entries.emplace_back(name, name.ends_with("/") ? AttrFolder : AttrArchive);
    }
    FillWithAttributes(directory, entries);
}

Names Selected(const TZipDirArray& directory) {
    Names names;
    for (int i = 0; i < directory.Count(); ++i) {
        if (directory.ItemAt(i).Selected) {
            names.push_back(directory.ItemAt(i).Name);
        }
    }
    return names;
}

Names Select(const Names& entries, const std::string& mask, TZipOptions options = {},
             std::uint32_t searchAttr = ProgramSearchAttr) {
    TZipDirArray directory;
    Fill(directory, entries);
    SelectEntries(directory, mask, searchAttr, "", options);
    return Selected(directory);
}

TEST(MasksSelect, TheMaskTable) {
    const Names all = {"META-INF/", "META-INF/MANIFEST.MF", "a/b/manifest.MF", "README", "icon.png",
                       "img/c.png", "img/sub/d.png",        "res/icon.png"};
    EXPECT_EQ(Select(all, "Manifest.mf"), (Names{"META-INF/MANIFEST.MF", "a/b/manifest.MF"}));
    EXPECT_EQ(Select(all, "Meta-inf\\Manifest.mf"), (Names{"META-INF/MANIFEST.MF"}));
    EXPECT_EQ(Select(all, "*.png"),
              (Names{"icon.png", "img/c.png", "img/sub/d.png", "res/icon.png"}));
    EXPECT_EQ(Select(all, "img/*.png"), (Names{"img/c.png", "img/sub/d.png"}));
    EXPECT_EQ(Select(all, "*"), all);
    EXPECT_EQ(Select(all, "*.*"), all);
    EXPECT_EQ(Select(all, "*."), (Names{"META-INF/", "README"}));
    EXPECT_EQ(Select(all, "icon.png"), (Names{"icon.png", "res/icon.png"}));
    EXPECT_EQ(Select(all, "img/c.png"), (Names{"img/c.png"}));
    EXPECT_EQ(Select(all, "/icon.png"), Names{});
    EXPECT_EQ(Select(all, "C:\\res\\icon.png"), Names{});
    EXPECT_EQ(Select(all, "res\\icon.png"), (Names{"res/icon.png"}));
    EXPECT_EQ(Select(all, "nothing.txt"), Names{});
    EXPECT_EQ(Select({"a"}, "a**"), Names{});
    EXPECT_EQ(Select({"a"}, "a*"), (Names{"a"}));
    EXPECT_EQ(Select({"a", "x/a", "ab"}, "?"), (Names{"a", "x/a"}));
    EXPECT_EQ(Select({"abc.mf"}, "??.mf"), Names{});
    EXPECT_EQ(Select({"a.png", "b.png", "a.png;b.png"}, "a.png;b.png"), (Names{"a.png;b.png"}));
}

TEST(MasksSelect, DriveAndNetworkPrefixesAreDropped) {
    const Names all = {"res/icon.png", "C:/res/icon.png"};
    EXPECT_EQ(Select(all, "\\\\server\\share\\res\\icon.png"), Names{});
    EXPECT_EQ(Select(all, "\\\\server\\share\\*.png"), Names{});
    EXPECT_EQ(Select(all, "D:*.png"), all);
    EXPECT_EQ(PrepareMask("C:\\res\\icon.png", spRelativePath), "/res/icon.png");
    EXPECT_EQ(PrepareMask("\\\\server\\share\\res\\icon.png", spRelativePath), "/res/icon.png");
    EXPECT_EQ(PrepareMask("C:\\res\\icon.png", spFullPathWithDrive), "C:/res/icon.png");
    TZipOptions keepDrive;
    keepDrive.StorePath = spFullPathWithDrive;
    EXPECT_EQ(Select(all, "C:\\res\\icon.png", keepDrive), (Names{"C:/res/icon.png"}));
}

TEST(MasksSelect, AttributeMask) {
    TZipDirArray directory;
    FillWithAttributes(directory, {{"folder/", AttrFolder},
                                   {"plain.txt", AttrArchive},
                                   {"readonly.txt", AttrReadOnly | AttrArchive},
                                   {"hidden.txt", 0x02},
                                   {"system.txt", 0x04},
                                   {"label", 0x08},
                                   {"none.txt", 0}});
    SelectEntries(directory, "*", 0, "", {});
    EXPECT_EQ(Selected(directory), (Names{"plain.txt", "readonly.txt", "none.txt"}));
    SelectEntries(directory, "*", AttrFolder, "", {});
    EXPECT_EQ(Selected(directory), (Names{"folder/", "plain.txt", "readonly.txt", "none.txt"}));
    SelectEntries(directory, "*", ProgramSearchAttr, "", {});
    EXPECT_EQ(Selected(directory).size(), 7u);
}

TEST(MasksSelect, FolderRuleWithoutRecurse) {
    TZipOptions flat;
    flat.Recurse = false;
    const Names all = {"MANIFEST.MF", "META-INF/", "META-INF/MANIFEST.MF", "x/META-INF/MANIFEST.MF",
                       "Игры/Икона.png"};
    EXPECT_EQ(Select(all, "Manifest.mf", flat), (Names{"MANIFEST.MF"}));
    EXPECT_EQ(Select(all, "Meta-inf\\Manifest.mf", flat), (Names{"META-INF/MANIFEST.MF"}));
    EXPECT_EQ(Select(all, "meta-inf\\*", flat), (Names{"META-INF/MANIFEST.MF"}));
    EXPECT_EQ(Select(all, "игры\\*.PNG", flat), (Names{"Игры/Икона.png"}));
}

// A new selection replaces the last one; the exclusion mask changes nothing.
// The folder rule takes ASCII letters by ASCII rules: under the Turkish
// rules "META-INF" is the folder of the mask "Meta-inf\". A user's mask keeps
// the locale's rules beyond ASCII; a fixed mask does not.
TEST(MasksSelect, FolderRuleUnderTheTurkishRules) {
    platform::SetCodePages(1254, 857);
    BuildCollationTables();
    TZipOptions flat;
    flat.Recurse = false;
    TZipDirArray directory;
    // Names are set in the code page: 0xDD is the dotted capital I.
    Fill(directory,
         {"META-INF/", "META-INF/MANIFEST.MF", "META-\xDDNF/MANIFEST.MF", "x/MANIFEST.MF"});
    SelectEntries(directory, "Meta-inf\\Manifest.mf", ProgramSearchAttr, "", flat, MaskText::Fixed);
    EXPECT_EQ(Selected(directory), Names{"META-INF/MANIFEST.MF"});
    SelectEntries(directory, "Meta-inf\\Manifest.mf", ProgramSearchAttr, "", flat);
    EXPECT_EQ(Selected(directory), (Names{"META-INF/MANIFEST.MF", "META-İNF/MANIFEST.MF"}));
    platform::SetCodePages(0, 0);
    BuildCollationTables();
}

TEST(MasksSelect, SelectionStartsAfreshAndIgnoresTheExclusionMask) {
    TZipDirArray directory;
    Fill(directory, Names{"a.txt", "b.txt", "c.png"});
    SelectEntries(directory, "*.txt", ProgramSearchAttr, "", {});
    EXPECT_EQ(Selected(directory), (Names{"a.txt", "b.txt"}));
    SelectEntries(directory, "*.png", ProgramSearchAttr, "*.png", {});
    EXPECT_EQ(Selected(directory), (Names{"c.png"}));

    SearchRec search;
    search.Mask = "*.txt";
    search.SearchAttr = ProgramSearchAttr;
    EXPECT_EQ(FindMatchingEntry(directory, search, true), 0);
    search.NextIndex = 1;
    EXPECT_EQ(FindMatchingEntry(directory, search, true), 1);
    search.NextIndex = 2;
    EXPECT_EQ(FindMatchingEntry(directory, search, true), -1);
}

// The directory of a JAR the jar tool wrote, read by the engine: the mask
// "Manifest.mf" finds the manifest and not its folder.
TEST(MasksSelect, ManifestOfARealJar) {
    codec_test::TempFolder folder;
    codec_test::WriteFile(folder / "Hello.class", codec_test::SampleText(500));
    Shell("cd " + Quote(folder.Path()) + " && jar cf app.jar Hello.class");
    platform::TFileStream stream(folder / "app.jar",
                                 platform::fmOpenRead | platform::fmShareDenyNone);
    TZipDirManager manager(&stream, nullptr, false);
    manager.ReadDirectory();
    SelectEntries(manager.Directory, "Manifest.mf", ProgramSearchAttr, "", {});
    EXPECT_EQ(Selected(manager.Directory), (Names{"META-INF/MANIFEST.MF"}));
    SelectEntries(manager.Directory, "Meta-inf\\Manifest.mf", ProgramSearchAttr, "", {});
    EXPECT_EQ(Selected(manager.Directory), (Names{"META-INF/MANIFEST.MF"}));
}

}  // namespace
}  // namespace archive
