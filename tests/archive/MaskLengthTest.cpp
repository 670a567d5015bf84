// Masks without "*" turn down names of another length before decoding them;
// the short cut must agree with the full match wherever it is taken, and
// must not be taken where bytes and characters differ in number.
#include <gtest/gtest.h>

#include "archive/names/ZipMasks.h"

namespace {

TEST(MaskLength, PatternsWithoutStarMatchOnlyNamesOfTheirLength) {
    EXPECT_TRUE(archive::WildcardMatch("META-INF/MANIFEST.MF", "Meta-inf/Manifest.mf"));
    EXPECT_FALSE(archive::WildcardMatch("META-INF/MANIFEST.MF2", "Meta-inf/Manifest.mf"));
    EXPECT_FALSE(archive::WildcardMatch("abc.mf", "??.mf"));
    EXPECT_TRUE(archive::WildcardMatch("ab.mf", "??.mf"));
    EXPECT_FALSE(archive::WildcardMatch("", "?"));
    EXPECT_TRUE(archive::WildcardMatch("", ""));
    // A star anywhere lets the lengths differ.
    EXPECT_TRUE(archive::WildcardMatch("img/sub/d.png", "img/*.png"));
    EXPECT_TRUE(archive::MatchesMask("icon.png", "*.*"));
}

TEST(MaskLength, CountsCharactersNotBytesInOtherNames) {
    // Two bytes of UTF-8 are one character for "?".
    EXPECT_TRUE(archive::WildcardMatch("\xc3\xa9.mf", "?.mf"));
    EXPECT_TRUE(archive::WildcardMatch("a.mf", "?.mf"));
    EXPECT_FALSE(archive::WildcardMatch("\xc3\xa9\xc3\xa9.mf", "?.mf"));
}

}  // namespace
