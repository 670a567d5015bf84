// Entries made from the directory bytes when first used: an entry made late,
// in any order, is the entry the whole directory would have given; a
// selection judged from the headers selects what it selects over made
// entries; a list changed while partly made ends as a made one does; and
// extracting one entry of a large archive makes only that entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <sstream>

#include "EntrySupport.h"
#include "TestCorpus.h"
#include "archive/directory/ZipDirManager.h"
#include "archive/directory/ZipItemSlots.h"
#include "archive/names/ZipSelect.h"
#include "platform/CodePage.h"
#include "platform/Stream.h"

namespace archive_test {
namespace {

using archive::TDirItem;
using archive::TZipDirArray;

// A directory read from an archive file, as an open archive reads it.
struct ReadDirectory {
    explicit ReadDirectory(const std::string& path)
        : stream(path, platform::fmOpenRead), manager(&stream, nullptr, false) {
        manager.ReadDirectory();
    }
    TZipDirArray& directory() { return manager.Directory; }
    platform::TFileStream stream;
    archive::TZipDirManager manager;
};

// Everything an item holds, as text.
std::string Describe(const TDirItem& item) {
    std::vector<std::uint8_t> header;
    archive::ByteWriter out(header);
    item.Header.Encode(out);
    std::ostringstream text;
    text << item.Name << '|' << std::string(header.begin(), header.end()) << '|'
         << item.StoredName() << '|' << item.Comment() << '|' << item.HasZip64 << '|'
         << item.Zip64().Size << ',' << item.Zip64().PackedSize << ',' << item.Zip64().Offset << ','
         << item.Zip64().Disk << '|' << item.Selected;
    for (const archive::ExtraField& field : item.ExtraFields()) {
        text << '|' << field.Id << ':' << std::string(field.Data.begin(), field.Data.end());
    }
    return text.str();
}

int MadeCount(const TZipDirArray& directory) {
    int made = 0;
    for (int i = 0; i < directory.Count(); ++i) {
        made += directory.IsMade(i) ? 1 : 0;
    }
    return made;
}

// Archives of every kind the tests make, and the corpus's, that open.
class EntriesOnDemandTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        made = new ScratchFolder;
        for (const char* kind :
             {"plain", "comment", "descriptors", "force64", "zip64eocd", "bigextra", "icons",
              "midlet", "reversed", "many3000", "entrycomments"}) {
            PythonMake(kind, *made / (std::string(kind) + ".zip"));
        }
        PythonMake("cyrillic", *made / "cyrillic.zip");
    }
    static void TearDownTestSuite() {
        delete made;
        made = nullptr;
    }
    void SetUp() override { platform::SetCodePages(1251, 866); }
    void TearDown() override { platform::SetCodePages(0, 0); }

    static std::vector<std::string> Archives() {
        std::vector<std::string> paths;
        for (const auto& entry : std::filesystem::directory_iterator(made->Path())) {
            paths.push_back(entry.path().string());
        }
        if (CorpusPresent()) {
            for (const auto& entry :
                 std::filesystem::recursive_directory_iterator(QUELLOR_CORPUS_DIR)) {
                const std::string ext = entry.path().extension().string();
                if (entry.is_regular_file() && (ext == ".zip" || ext == ".jar")) {
                    paths.push_back(entry.path().string());
                }
            }
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    // Runs `check` over every archive that opens, with a fresh directory
    // read each time it asks.
    template <class Check>
    static void ForEachArchive(Check check) {
        for (const std::string& path : Archives()) {
            SCOPED_TRACE(path);
            try {
                ReadDirectory probe(path);
            } catch (const archive::EZipException&) {
                continue;
            }
            check(path);
        }
    }

    static inline ScratchFolder* made = nullptr;
};

TEST_F(EntriesOnDemandTest, EntriesMadeInAnyOrderAreThoseMadeAllAtOnce) {
    ForEachArchive([](const std::string& path) {
        ReadDirectory whole(path);
        whole.directory().NameIndex();  // every entry made, in order
        ReadDirectory late(path);
        ASSERT_EQ(late.directory().Count(), whole.directory().Count());
        std::vector<int> order(static_cast<std::size_t>(late.directory().Count()));
        for (int i = 0; i < late.directory().Count(); ++i) {
            order[static_cast<std::size_t>(i)] = i;
        }
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
        for (int i : order) {
            ASSERT_EQ(Describe(late.directory().ItemAt(i)), Describe(whole.directory().ItemAt(i)))
                << "entry " << i;
        }
        // Written back, the entries made late give the bytes they were read from.
        const std::string before = ReadBytes(path);
        if (path.starts_with(made->Path()) && !path.ends_with("zip64eocd.zip")) {
            ScratchFolder scratch;
            WriteBytes(scratch / "copy.zip", before);
            platform::TFileStream copy(scratch / "copy.zip", platform::fmOpenReadWrite);
            late.manager.WriteDirectory(false, &copy);
            late.manager.ArchiveStream = &late.stream;
            EXPECT_EQ(ReadBytes(scratch / "copy.zip"), before);
        }
        // The name index built after entries were made out of order.
        for (int i = 0; i < whole.directory().Count(); ++i) {
            const std::string& name = whole.directory().ItemAt(i).Name;
            EXPECT_EQ(late.directory().IndexOf(name), whole.directory().IndexOf(name)) << name;
        }
    });
}

TEST_F(EntriesOnDemandTest, SelectionFromTheHeadersSelectsWhatMadeEntriesSelect) {
    const std::vector<std::string> fixedMasks = {"*",
                                                 "*.*",
                                                 "META-INF/MANIFEST.MF",
                                                 "meta-inf\\manifest.mf",
                                                 "MANIFEST.MF",
                                                 "*.class",
                                                 "d3/*",
                                                 "d3\\F000010.TXT",
                                                 "icon.png",
                                                 "res",
                                                 "Привет/МИР.txt",
                                                 "мир.txt",
                                                 "f00001?.txt"};
    ForEachArchive([&](const std::string& path) {
        ReadDirectory names(path);
        std::vector<std::string> masks = fixedMasks;
        // The archive's own names, as they are and in capitals.
        for (int i = 0; i < std::min(names.directory().Count(), 4); ++i) {
            const std::string& name =
                names.directory().ItemAt(i * 7 % names.directory().Count()).Name;
            masks.push_back(name);
            masks.push_back(
                platform::AnsiToUtf8(platform::AnsiUpperCase(platform::Utf8ToAnsi(name))));
        }
        for (const std::string& mask : masks) {
            for (const bool recurse : {true, false}) {
                SCOPED_TRACE(mask + (recurse ? " recursing" : ""));
                archive::TZipOptions options;
                options.Recurse = recurse;
                ReadDirectory whole(path);
                whole.directory().NameIndex();
                archive::SelectEntries(whole.directory(), mask, 10431, "", options);
                ReadDirectory late(path);
                archive::SelectEntries(late.directory(), mask, 10431, "", options);
                int selected = 0;
                for (int i = 0; i < whole.directory().Count(); ++i) {
                    ASSERT_EQ(late.directory().IsSelected(i), whole.directory().ItemAt(i).Selected)
                        << "entry " << i;
                    selected += late.directory().IsSelected(i) ? 1 : 0;
                }
                // Judged from the headers, a literal mask over ASCII names makes
                // only what it selects (and the first entry, which the open reads).
                if (mask == "META-INF/MANIFEST.MF" && path.ends_with("many3000.zip")) {
                    EXPECT_LE(MadeCount(late.directory()), selected + 1);
                }
            }
        }
    });
}

// The same random changes on a list read whole and on one made as it goes:
// every step leaves both with the same entries and the same look-ups.
TEST_F(EntriesOnDemandTest, AListChangedWhilePartlyMadeEndsAsAWholeOne) {
    for (const char* archive : {"many3000.zip", "cyrillic.zip", "midlet.zip", "force64.zip"}) {
        for (unsigned seed = 1; seed <= 6; ++seed) {
            SCOPED_TRACE(std::string(archive) + " seed " + std::to_string(seed));
            ReadDirectory whole(*made / archive);
            whole.directory().NameIndex();
            ReadDirectory late(*made / archive);
            std::mt19937 random(seed);
            for (int step = 0; step < 12; ++step) {
                const int count = whole.directory().Count();
                const int at = count == 0 ? 0 : static_cast<int>(random() % count);
                const unsigned action = random() % 7;
                for (TZipDirArray* directory : {&whole.directory(), &late.directory()}) {
                    switch (action) {
                        case 0:
                            directory->ItemAt(at).Selected = true;
                            break;
                        case 1:
                            if (count > 0) {
                                directory->SetItemName(at,
                                                       "Renamed" + std::to_string(step) + ".txt");
                            }
                            break;
                        case 2:
                            if (count > 1) {
                                directory->Delete(at);
                            }
                            break;
                        case 3: {
                            TDirItem& item = directory->AppendItem();
                            item.Header.ExternalAttributes = archive::AttrArchive;
                            directory->SetItemName(directory->Count() - 1,
                                                   "new/" + std::to_string(step) + ".bin");
                            break;
                        }
                        case 4: {
                            TDirItem copy;
                            directory->GetItem(count - 1 - at, copy);
                            directory->PutItem(at, copy);
                            break;
                        }
                        case 5:
                            directory->ClearSelected();
                            break;
                        default:
                            directory->ItemAt(count - 1 - at);
                            break;
                    }
                }
                ASSERT_EQ(late.directory().Count(), whole.directory().Count());
                for (int i = 0; i < whole.directory().Count();
                     i += 1 + whole.directory().Count() / 50) {
                    const std::string& name = whole.directory().ItemAt(i).Name;
                    ASSERT_EQ(Describe(late.directory().ItemAt(i)),
                              Describe(whole.directory().ItemAt(i)));
                    ASSERT_EQ(late.directory().IndexOf(name), whole.directory().IndexOf(name))
                        << name;
                }
            }
            TZipDirArray copy;
            copy.Assign(late.directory());
            EXPECT_EQ(ListingOf(copy), ListingOf(whole.directory()));
            // Read again over a list partly made, the directory is as read first.
            ReadDirectory again(*made / archive);
            again.directory().ItemAt(again.directory().Count() / 2);
            again.manager.ReadDirectory();
            EXPECT_EQ(ListingOf(again.directory()),
                      ListingOf(ReadDirectory(*made / archive).directory()));
        }
    }
}

TEST_F(EntriesOnDemandTest, NamesInACodePageAreReadUnderTheCodePagesOfTheOpen) {
    ReadDirectory cyrillic(*made / "cyrillic.zip");
    platform::SetCodePages(1252, 850);
    EXPECT_EQ(cyrillic.directory().ItemAt(1).Name, "Привет/мир.txt");
}

TEST_F(EntriesOnDemandTest, ExtractingOneEntryOfALargeArchiveMakesOnlyThatEntry) {
    ScratchFolder scratch;
    auto zip = OpenArchive(*made / "many3000.zip", scratch / "out");
    zip->ExtractByMask("d3/f000010.txt", 10431, "");
    EXPECT_TRUE(std::filesystem::exists(scratch / "out/d3/f000010.txt"));
    EXPECT_LE(MadeCount(zip->DirManager()->Directory), 2);
    zip->Close();
}

// A counted item: the slots destroy exactly the items they made.
struct Counted {
    Counted() { ++alive; }
    Counted(Counted&&) noexcept { ++alive; }
    Counted& operator=(Counted&&) noexcept = default;
    ~Counted() { --alive; }
    int value = 0;
    static inline int alive = 0;
};

TEST(ItemSlotsTest, OnlyTheItemsMadeAreDestroyed) {
    // Slots of a large block and of the heap, made sparsely, then all.
    for (const std::size_t size : {std::size_t{10}, std::size_t{70000}}) {
        for (const std::size_t stride : {std::size_t{1}, std::size_t{3}, std::size_t{64}}) {
            SCOPED_TRACE(std::to_string(size) + " by " + std::to_string(stride));
            {
                archive::ItemSlots<Counted> slots;
                slots.AssignEmpty(size);
                for (std::size_t i = 0; i < size; i += stride) {
                    slots.Make(i).value = static_cast<int>(i);
                }
                EXPECT_EQ(static_cast<std::size_t>(Counted::alive), (size + stride - 1) / stride);
                EXPECT_EQ(slots.HoldsAll(), stride == 1);
                EXPECT_TRUE(slots.Holds(0));
                EXPECT_EQ(slots.Holds(1), stride == 1);
                if (slots.HoldsAll()) {
                    slots.erase(0);
                    slots.emplace_back();
                    EXPECT_EQ(slots[0].value, 1);
                    slots.resize(3);
                    EXPECT_EQ(Counted::alive, 3);
                }
            }
            EXPECT_EQ(Counted::alive, 0);
        }
    }
}

}  // namespace
}  // namespace archive_test
