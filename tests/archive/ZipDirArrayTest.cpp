// The entry list: its growth steps, its index guards and the name index
// kept in step with the items.
#include <gtest/gtest.h>

#include "archive/ZipExcept.h"
#include "archive/directory/ZipDirArray.h"
#include "platform/CodePage.h"

namespace archive {
namespace {

int NativeErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EZipException& e) {
        return e.NativeError;
    }
    return -1;
}

TDirItem Named(const std::string& name) {
    TDirItem item;
    item.Name = name;
    return item;
}

TEST(ZipDirArrayTest, GrowsByDoublingStepsUpTo10000) {
    TZipDirArray array;
    std::vector<int> capacities;
    for (int n = 1; n <= 40000; ++n) {
        const int before = array.Capacity();
        array.SetCount(n);
        if (array.Capacity() != before) {
            capacities.push_back(array.Capacity());
        }
    }
    EXPECT_EQ(capacities, (std::vector<int>{1000, 3000, 7000, 15000, 25000, 35000, 45000}));
    array.SetCount(10);
    EXPECT_EQ(array.Capacity(), 45000);  // a smaller count keeps the storage
    array.SetCount(0);
    EXPECT_EQ(array.Capacity(), 0);
    array.SetCount(20000);  // a jump takes the count itself
    EXPECT_EQ(array.Capacity(), 20000);
}

TEST(ZipDirArrayTest, IndexGuardsRaiseTheirOwnNumbers) {
    TZipDirArray array;
    array.SetCount(2);
    TDirItem item;
    EXPECT_EQ(NativeErrorOf([&] { array.PutItem(2, item); }), 1);
    EXPECT_EQ(NativeErrorOf([&] { array.GetItem(-1, item); }), 2);
    EXPECT_EQ(NativeErrorOf([&] { array.ItemAt(5); }), 3);
    EXPECT_EQ(NativeErrorOf([&] { array.Delete(2); }), 4);
    // An item named out of order would put its key at the wrong position.
    EXPECT_EQ(NativeErrorOf([&] { array.SetItemName(1, "b"); }), 59);
    try {
        array.ItemAt(7);
    } catch (const EZipException& e) {
        EXPECT_STREQ(e.what(), "Index out of bounds - Native error: 00003");
    }
}

TEST(ZipDirArrayTest, NamesAreFoundWithoutRegardToCase) {
    TZipDirArray array;
    array.SetCount(3);
    array.SetItemName(0, "META-INF/");
    array.SetItemName(1, "META-INF/MANIFEST.MF");
    array.SetItemName(2, "Game.class");
    EXPECT_EQ(array.IndexOf("meta-inf/manifest.mf"), 1);
    EXPECT_EQ(array.NameIndex()[1], "meta-inf/manifest.mf");
    array.SetItemName(1, "META-INF/OTHER.MF");  // a rename replaces the key
    EXPECT_EQ(array.IndexOf("META-INF/MANIFEST.MF"), -1);
    EXPECT_EQ(array.IndexOf("meta-inf/other.mf"), 1);
    EXPECT_EQ(array.ItemAt(1).Name, "META-INF/OTHER.MF");
}

TEST(ZipDirArrayTest, DeleteMovesItemsAndKeysDown) {
    TZipDirArray array;
    array.SetCount(3);
    for (int i = 0; i < 3; ++i) {
        array.PutItem(i, Named(std::string("e").append(std::to_string(i))));
    }
    array.Delete(0);
    ASSERT_EQ(array.Count(), 2);
    EXPECT_EQ(array.ItemAt(0).Name, "e1");
    EXPECT_EQ(array.IndexOf("E2"), 1);
    EXPECT_EQ(array.IndexOf("e0"), -1);
    array.SetCount(3);  // the slot that comes back is empty
    EXPECT_EQ(array.ItemAt(2).Name, "");
}

TEST(ZipDirArrayTest, PutItemOutOfStepWithTheIndexIsRefused) {
    TZipDirArray array;
    array.SetCount(3);
    array.PutItem(0, Named("a"));
    EXPECT_EQ(NativeErrorOf([&] { array.PutItem(2, Named("c")); }), 58);
    array.PutItem(1, Named("b"));
    array.PutItem(0, Named("A2"));
    EXPECT_EQ(array.IndexOf("a2"), 0);
    EXPECT_EQ(array.IndexOf("a"), -1);
}

TEST(ZipDirArrayTest, DuplicateNamesKeepTheirOwnKeys) {
    TZipDirArray array;
    array.SetCount(3);
    array.SetItemName(0, "test1");
    array.SetItemName(1, "test1");
    array.SetItemName(2, "");
    EXPECT_EQ(array.IndexOf("test1"), 1);
    array.SetItemName(1, "renamed");  // the first duplicate is still found
    EXPECT_EQ(array.IndexOf("test1"), 0);
    EXPECT_EQ(array.IndexOf(""), 2);
}

TEST(ZipDirArrayTest, AssignCopiesItemsWithTheirOwnBuffers) {
    TZipDirArray source;
    source.SetCount(2);
    TDirItem item = Named("x");
    item.EditExtraFields().push_back({0xCAFE, {1, 2, 3}});
    source.PutItem(0, item);
    source.PutItem(1, Named("y"));
    TZipDirArray copy;
    copy.SetCount(5);
    copy.Assign(source);
    ASSERT_EQ(copy.Count(), 2);
    source.ItemAt(0).EditExtraFields()[0].Data[0] = 9;
    EXPECT_EQ(copy.ItemAt(0).ExtraFields()[0].Data[0], 1);
    EXPECT_EQ(copy.IndexOf("Y"), 1);
    copy.ItemAt(1).Selected = true;
    copy.ClearSelected();
    EXPECT_FALSE(copy.ItemAt(1).Selected);
}

// The saved copy of a transaction keeps no name index: it finds the same
// positions by a search, and its copies own their rarely set strings.
TEST(ZipDirArrayTest, AListWithoutIndexFindsTheSameAndCopiesDeeply) {
    TZipDirArray indexed;
    indexed.SetCount(3);
    TDirItem first = Named("Res/A.txt");
    first.SetComment(std::string("note"));
    first.SetSourceFileName("/tmp/a.txt");
    indexed.PutItem(0, first);
    indexed.PutItem(1, Named("b.txt"));
    indexed.PutItem(2, Named("res/a.TXT"));
    TZipDirArray saved(false);
    saved.Assign(indexed);
    EXPECT_TRUE(saved.NameIndex().Count() == 0);
    for (const std::string name : {"res/a.txt", "B.TXT", "c.txt", ""}) {
        EXPECT_EQ(saved.IndexOf(name), indexed.IndexOf(name)) << name;
    }
    EXPECT_EQ(saved.IndexOf("RES/A.TXT"), 2);  // the last of equal keys
    indexed.ItemAt(0).SetComment(std::string("changed"));
    indexed.ItemAt(0).SetSourceFileName("");
    EXPECT_EQ(saved.ItemAt(0).Comment(), "note");
    EXPECT_EQ(saved.ItemAt(0).SourceFileName(), "/tmp/a.txt");
    EXPECT_TRUE(saved.ItemAt(1).Comment().empty());
    saved.Delete(0);
    EXPECT_EQ(saved.IndexOf("b.txt"), 0);
}

// The index is built at the first look-up. Wherever that comes in a run of
// namings, renames, puts and deletes, every name is then found where an
// index kept from the start finds it; a name set from code-page bytes that
// do not survive the way to UTF-8 and back keeps the key of those bytes and
// so is not taken for the entry its UTF-8 form reads like.
TEST(ZipDirArrayTest, IndexBuiltLateFindsWhatAnIndexKeptFromTheStartFinds) {
    platform::SetCodePages(1251, 866);
    const std::string cyrillic = "\xC0\xE1.txt";  // "Аб.txt" in code page 1251
    const std::string undefined = "a\x98.txt";    // 0x98 is no character in 1251
    const std::vector<std::function<void(TZipDirArray&)>> steps = {
        [](TZipDirArray& a) { a.SetCount(4); },
        [](TZipDirArray& a) { a.SetItemName(0, "META-INF/"); },
        [](TZipDirArray& a) { a.SetItemName(1, "a?.txt"); },
        [&](TZipDirArray& a) { a.SetItemName(2, cyrillic); },
        [&](TZipDirArray& a) { a.SetItemName(3, undefined); },
        [](TZipDirArray& a) { a.SetItemName(0, "META-INF/MANIFEST.MF"); },
        [](TZipDirArray& a) { a.PutItem(2, Named("Put.txt")); },
        [&](TZipDirArray& a) { a.SetItemName(2, cyrillic); },
        [](TZipDirArray& a) { a.Delete(0); },
        [](TZipDirArray& a) {
            a.SetCount(a.Count() + 1);
            a.SetItemName(a.Count() - 1, "New.txt");
        },
    };
    const std::vector<std::string> probes = {"meta-inf/manifest.mf",
                                             "META-INF/",
                                             "A?.TXT",
                                             "\xD0\xB0\xD0\xB1.TXT",  // "аб.TXT"
                                             "put.txt",
                                             "new.txt",
                                             platform::AnsiToUtf8(undefined)};
    std::vector<int> kept;  // the index looked at before the first step
    for (std::size_t lookAt = 0; lookAt <= steps.size(); ++lookAt) {
        TZipDirArray array;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            if (i == lookAt) {
                array.IndexOf("x");
            }
            steps[i](array);
        }
        std::vector<int> found;
        for (const std::string& probe : probes) {
            found.push_back(array.IndexOf(probe));
        }
        if (lookAt == 0) {
            kept = found;
        }
        EXPECT_EQ(found, kept) << "index first looked at before step " << lookAt;
        EXPECT_EQ(array.NameIndex().Count(), array.Count());
    }
    // What the items are: a?.txt, Аб.txt, the undefined byte, New.txt.
    EXPECT_EQ(kept, (std::vector<int>{-1, -1, 0, 1, -1, 3, 0}));
    platform::SetCodePages(0, 0);
}

}  // namespace
}  // namespace archive
