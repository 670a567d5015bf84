// Matching one name against one mask, and the case rules of the code pages.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "archive/names/ZipMasks.h"
#include "platform/CodePage.h"

namespace archive {
namespace {

class MasksMatch : public ::testing::Test {
  protected:
    void TearDown() override { UseCodePages(0, 0); }

    static void UseCodePages(unsigned ansi, unsigned oem) {
        platform::SetCodePages(ansi, oem);
        BuildCollationTables();
    }
};

// The mask table itself is run over a directory in MasksSelectTest.cpp.
TEST_F(MasksMatch, StarsAndQuestionMarks) {
    EXPECT_TRUE(MatchesMask("/", "?"));
    EXPECT_FALSE(MatchesMask("abc", "ab"));
    EXPECT_FALSE(MatchesMask("ab", "abc"));
    EXPECT_TRUE(MatchesMask("abcbd", "a*b*d"));
    EXPECT_FALSE(MatchesMask("abcbe", "a*b*d"));
    EXPECT_FALSE(MatchesMask("anything", ""));
    EXPECT_FALSE(MatchesMask("", ""));
}

TEST_F(MasksMatch, DotRules) {
    // The first "*.*" stands for "*": names without a dot match too.
    EXPECT_TRUE(MatchesMask("README", "*.*"));
    EXPECT_TRUE(MatchesMask("META-INF", "*.*"));
    EXPECT_TRUE(MatchesMask("a.b.c", "*.*"));
    EXPECT_TRUE(WildcardMatch("", "*.*"));
    // A mask ending in "." wants a name without extension.
    EXPECT_TRUE(MatchesMask("README", "*."));
    EXPECT_TRUE(MatchesMask("README.", "*."));
    EXPECT_FALSE(MatchesMask("icon.png", "*."));
    EXPECT_TRUE(MatchesMask("Makefile", "Make*."));
    EXPECT_FALSE(MatchesMask("Make.am", "Make*."));
    // The extension stops at "\" or ":".
    EXPECT_TRUE(MatchesMask("a.d\\b", "*."));
}

TEST_F(MasksMatch, SeparatorsOfListsAreOrdinaryCharacters) {
    EXPECT_FALSE(MatchesMask("a.png", "a.png;b.png"));
    EXPECT_FALSE(MatchesMask("b.png", "a.png;b.png"));
    EXPECT_TRUE(MatchesMask("a.png;b.png", "a.png;b.png"));
    EXPECT_TRUE(MatchesMask("x,y", "*,*"));
}

// A mask taken from a MIDlet's manifest can be hostile; matching stays fast.
TEST_F(MasksMatch, ManyStarsDoNotExplode) {
    const std::string name(3000, 'a');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MatchesMask(name, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(MatchesMask(name + "b", "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_FALSE(MatchesMask(name, std::string(200, '*') + "b"));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(2));
}

TEST_F(MasksMatch, CaseIsIgnoredForLatinAndCyrillic) {
    for (unsigned ansi : {platform::CP_UTF8, 1251u}) {
        UseCodePages(ansi, ansi == 1251 ? 866 : platform::CP_UTF8);
        SCOPED_TRACE(ansi);
        EXPECT_TRUE(MatchesMask("META-INF/MANIFEST.MF", "Meta-inf/Manifest.mf"));
        EXPECT_TRUE(MatchesMask("Игры/Значок.PNG", "игры/зНАЧОК.png"));
        EXPECT_TRUE(MatchesMask("ЁЖ", "ёж"));
        EXPECT_TRUE(MatchesMask("Ґанок", "ґ*"));
        EXPECT_FALSE(MatchesMask("Ж", "Ш"));
        // One character is one code point, whatever its UTF-8 length.
        EXPECT_TRUE(MatchesMask("Я.txt", "?.txt"));
        EXPECT_FALSE(MatchesMask("Яя.txt", "?.txt"));
    }
}

TEST_F(MasksMatch, LatinLettersOfTheWesternCodePage) {
    UseCodePages(1252, 437);
    EXPECT_TRUE(MatchesMask("ÉCOLE.TXT", "école.txt"));
    EXPECT_TRUE(MatchesMask("Œuvre", "œuvre"));
    EXPECT_TRUE(MatchesMask("ILIK", "ilik"));
    EXPECT_FALSE(MatchesMask("ß", "S"));
}

// Under the Turkish locale I and dotless i go together, and so do i and
// dotted I; the ASCII i and I still match each other, as in every locale.
TEST_F(MasksMatch, TurkishLetterI) {
    // The Turkish code page, and a Turkish UTF-8 locale (the same rules by code point).
    for (unsigned ansi : {1254u, platform::CP_UTF8}) {
        BuildCollationTables(ansi, true);
        SCOPED_TRACE(ansi);
        EXPECT_TRUE(SameCharacter(U'\u0131', U'I'));
        EXPECT_TRUE(SameCharacter(U'I', U'\u0131'));
        EXPECT_TRUE(SameCharacter(U'i', U'\u0130'));
        EXPECT_TRUE(SameCharacter(U'i', U'I'));
        EXPECT_TRUE(MatchesMask("İKON.PNG", "ikon.png"));
        EXPECT_TRUE(MatchesMask("IKON.PNG", "ikon.png"));
        EXPECT_TRUE(MatchesMask("ıkon.png", "IKON.PNG"));
        EXPECT_TRUE(MatchesMask("ŞÇĞÖÜ", "şçğöü"));
    }
    BuildCollationTables(1254, true);
    const Collation& tables = CollationTables();
    EXPECT_EQ(tables.UpperMap[0x49], tables.UpperMap[0xFD]);
    EXPECT_EQ(tables.UpperMap[0x69], tables.UpperMap[0xDD]);
    EXPECT_NE(tables.UpperMap[0x69], tables.UpperMap[0x49]);
    // Every letter of the code page has its capital, o with stroke included.
    EXPECT_TRUE(MatchesMask("ØRE", "øre"));
    EXPECT_TRUE(MatchesMask("ŠŒŸ", "šœÿ"));
    EXPECT_FALSE(MatchesMask("÷", "×"));
    // The platform's Turkish code page brings the Turkish rules.
    UseCodePages(1254, 857);
    EXPECT_TRUE(CollationTables().Turkish);
    EXPECT_TRUE(MatchesMask("İKON.PNG", "ikon.png"));
}

// A mask fixed in the program matches the same names in every locale: its
// ASCII letters by ASCII rules only. A user's mask keeps the locale's rules
// beyond ASCII.
TEST_F(MasksMatch, FixedMasksFoldOnlyAscii) {
    const struct {
        const char* name;
        const char* mask;
        bool fixed;      // matches as a fixed mask, in every locale
        bool turkish;    // matches as a user's mask under the Turkish rules
        bool elsewhere;  // matches as a user's mask in other locales
    } cases[] = {
        {"META-INF/MANIFEST.MF", "Meta-inf/Manifest.mf", true, true, true},
        {"meta-inf/manifest.mf", "META-INF/MANIFEST.MF", true, true, true},
        {"META-İNF/MANİFEST.MF", "Meta-inf/Manifest.mf", false, true, false},
        {"ımage.png", "IMAGE.PNG", false, true, true},  // dotless i is upper-case I
        {"ÉCOLE.TXT", "école.txt", false, true, true},
        {"école.txt", "école.txt", true, true, true},
        {"Manifest.mf2", "Manifest.mf", false, false, false},
        {"a/MANIFEST.MF", "*/manifest.*", true, true, true},
    };
    const struct {
        unsigned ansi;
        bool turkish;
    } locales[] = {{platform::CP_UTF8, true},
                   {1254, true},
                   {platform::CP_UTF8, false},
                   {1252, false},
                   {1251, false}};
    for (const auto& locale : locales) {
        BuildCollationTables(locale.ansi, locale.turkish);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(locale.ansi) + (locale.turkish ? " tr " : " ") + c.name);
            EXPECT_EQ(MatchesMask(c.name, c.mask, MaskText::Fixed), c.fixed);
            const bool user = locale.turkish ? c.turkish : c.elsewhere;
            // Western letters beyond what 1251 holds still fold by Unicode.
            EXPECT_EQ(MatchesMask(c.name, c.mask, MaskText::User), user);
        }
    }
}

TEST_F(MasksMatch, OutsideTheTurkishLocaleIAndIMatch) {
    for (unsigned ansi : {1252u, platform::CP_UTF8}) {
        UseCodePages(ansi, ansi == 1252 ? 437 : platform::CP_UTF8);
        EXPECT_TRUE(SameCharacter(U'i', U'I'));
        EXPECT_FALSE(SameCharacter(U'i', U'\u0130'));
    }
}

}  // namespace
}  // namespace archive
