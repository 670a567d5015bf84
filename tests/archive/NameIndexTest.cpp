// The entry name index: look-ups without regard to case, the lazy rebuild
// after Delete, and the growth of the table past five names per bucket.
#include <gtest/gtest.h>

#include "archive/directory/ZipHashList.h"
#include "platform/CodePage.h"

namespace archive {
namespace {

TEST(ZipStringHashTest, HashRotatesAndXorsEveryByte) {
    TZipStringHash hash(1000);
    EXPECT_EQ(hash.HashOf(""), 0u);
    EXPECT_EQ(hash.HashOf("a"), 0x61u);
    EXPECT_EQ(hash.HashOf("ab"), (0x61u << 2) ^ 0x62u);
    // Bits that leave at the top come back at the bottom: 16 rotations by
    // 2 bits bring 0x80 round to where it started.
    EXPECT_EQ(hash.HashOf(std::string("\x80") + std::string(16, '\0')), 0x80u);
    EXPECT_EQ(hash.HashOf(std::string("\x80") + std::string(15, '\0')), 0x20u);
}

TEST(ZipStringHashTest, NewKeysShadowOlderEqualKeysUntilRemoved) {
    TZipStringHash hash(7);
    hash.AddKey("k", 1);
    hash.AddKey("k", 2);
    EXPECT_EQ(hash.ValueOf("k"), 2);
    hash.RemoveKey("k");
    EXPECT_EQ(hash.ValueOf("k"), 1);
    hash.RemoveKey("k");
    EXPECT_EQ(hash.ValueOf("k"), -1);
    hash.RemoveKey("k");  // nothing to remove
    hash.AddKey("x", 3);
    hash.ClearKeys();
    EXPECT_EQ(hash.ValueOf("x"), -1);
}

TEST(ZipHashedStringListTest, FirstLookupMakesA1000BucketTable) {
    TZipHashedStringList list;
    EXPECT_EQ(list.ValueHash(), nullptr);
    EXPECT_EQ(list.IndexOf("anything"), -1);
    ASSERT_NE(list.ValueHash(), nullptr);
    EXPECT_EQ(list.ValueHash()->BucketCount(), 1000u);
    EXPECT_EQ(list.IndexOf(""), -1);
    list.Add("");
    EXPECT_EQ(list.IndexOf(""), 0);
}

TEST(ZipHashedStringListTest, CaseVariantsFindTheLaterString) {
    for (bool lookupFirst : {false, true}) {
        TZipHashedStringList list;
        if (lookupFirst) {
            list.IndexOf("x");
        }
        list.Add("Meta-Inf/Manifest.MF");
        list.Add("META-INF/MANIFEST.MF");
        EXPECT_EQ(list.IndexOf("meta-inf/manifest.mf"), 1) << lookupFirst;
        EXPECT_EQ(list.IndexOf("Meta-Inf/Manifest.MF"), 1) << lookupFirst;
    }
}

TEST(ZipHashedStringListTest, DeleteRenumbersOnTheNextLookup) {
    TZipHashedStringList list;
    list.Add("a");
    list.Add("b");
    list.Add("c");
    EXPECT_EQ(list.IndexOf("c"), 2);
    list.Delete(0);
    EXPECT_FALSE(list.ValueHashValid());
    EXPECT_EQ(list.IndexOf("c"), 1);
    EXPECT_EQ(list.IndexOf("a"), -1);
    EXPECT_TRUE(list.ValueHashValid());
}

TEST(ZipHashedStringListTest, ReplaceAtKeepsEqualKeysOfOtherPositions) {
    TZipHashedStringList list;
    list.IndexOf("");
    list.Add("dup");
    list.Add("DUP");
    list.Add("other");
    list.ReplaceAt(0, "first");
    EXPECT_EQ(list.IndexOf("dup"), 1);
    EXPECT_EQ(list.IndexOf("first"), 0);
    list.ReplaceAt(1, "second");
    EXPECT_EQ(list.IndexOf("dup"), -1);
    EXPECT_EQ(list.IndexOf("SECOND"), 1);
    EXPECT_EQ(list[1], "second");
}

TEST(ZipHashedStringListTest, ClearForgetsEveryOldString) {
    TZipHashedStringList list;
    list.Add("old");
    list.IndexOf("old");
    list.Clear();
    list.Add("new");
    EXPECT_EQ(list.IndexOf("old"), -1);
    EXPECT_EQ(list.IndexOf("new"), 0);
}

TEST(ZipHashedStringListTest, TableIsDroppedPast5000AndRemadeLarger) {
    TZipHashedStringList list;
    list.IndexOf("");
    for (int i = 0; i < 5000; ++i) {
        list.Add("name" + std::to_string(i));
    }
    ASSERT_NE(list.ValueHash(), nullptr);
    list.Add("name5000");
    EXPECT_EQ(list.ValueHash(), nullptr);
    for (int i = 0; i <= 5000; i += 250) {
        EXPECT_EQ(list.IndexOf("NAME" + std::to_string(i)), i);
    }
    EXPECT_EQ(list.IndexOf("name5000"), 5000);
    ASSERT_NE(list.ValueHash(), nullptr);
    EXPECT_EQ(list.ValueHash()->BucketCount(), 5001u);
}

TEST(ZipHashedStringListTest, KeysFoldCyrillicInTheAnsiCodePage) {
    platform::SetCodePages(1251, 866);
    TZipHashedStringList list;
    list.Add("\xCF\xF0\xE8\xE2\xE5\xF2");                    // "Привет" in 1251
    EXPECT_EQ(list.IndexOf("\xEF\xF0\xE8\xE2\xE5\xF2"), 0);  // "привет"
    platform::SetCodePages(0, 0);
}

TEST(ZipHashedStringListTest, LookupByNameUsesThePartBeforeTheEqualsSign) {
    TZipHashedStringList list;
    list.Add("Key=1");
    list.Add("plain");
    list.Add("other=2");
    EXPECT_EQ(list.IndexOfName("KEY"), 0);
    EXPECT_EQ(list.IndexOfName("plain"), -1);
    list.Delete(0);
    EXPECT_EQ(list.IndexOfName("other"), 1);
    list.Add("late=3");
    EXPECT_EQ(list.IndexOfName("late"), 2);
}

}  // namespace
}  // namespace archive
