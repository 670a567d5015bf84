#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

using namespace platform;

namespace {

// Sets the locale variables for one test and restores them after.
class LocaleCodePages : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            const char* value = std::getenv(name);
            saved_.push_back({name, value != nullptr, value != nullptr ? value : ""});
            unsetenv(name);
        }
        SetCodePages(0, 0);
    }
    void TearDown() override {
        for (const Saved& s : saved_) {
            s.set ? setenv(s.name, s.value.c_str(), 1) : unsetenv(s.name);
        }
        SetCodePages(0, 0);
    }
    void UseLocale(const char* name) { setenv("LC_ALL", name, 1); }

  private:
    struct Saved {
        const char* name;
        bool set;
        std::string value;
    };
    std::vector<Saved> saved_;
};

// "Привет" in three encodings.
const std::string kOem866 = "\x8F\xE0\xA8\xA2\xA5\xE2";
const std::string kAnsi1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
const std::string kUtf8 = "Привет";

}  // namespace

TEST_F(LocaleCodePages, CodePagesFollowTheLocale) {
    struct Case {
        const char* locale;
        unsigned ansi, oem;
    } cases[] = {
        {"", CP_UTF8, CP_UTF8},           {"C", CP_UTF8, CP_UTF8},
        {"POSIX", CP_UTF8, CP_UTF8},      {"en_US.UTF-8", CP_UTF8, CP_UTF8},
        {"ru_RU.utf8", CP_UTF8, CP_UTF8}, {"ru_RU.CP1251", 1251, 866},
        {"uk_UA.KOI8-U", 1251, 866},      {"be_BY", 1251, 866},
        {"tr_TR.ISO-8859-9", 1254, 857},  {"de_DE@euro", 1252, 437},
    };
    for (const Case& c : cases) {
        UseLocale(c.locale);
        EXPECT_EQ(GetACP(), c.ansi) << c.locale;
        EXPECT_EQ(GetOEMCP(), c.oem) << c.locale;
    }
    SetCodePages(1251, 866);
    EXPECT_EQ(GetACP(), 1251u);
    EXPECT_EQ(GetOEMCP(), 866u);
}

// A program keeps the locale it started in, whatever the variables say
// later, on every thread; kept in a child, so the other tests still follow
// the variables.
TEST_F(LocaleCodePages, AKeptLocaleStaysForTheProcess) {
    UseLocale("tr_TR.ISO-8859-9");
    EXPECT_EXIT(
        {
            KeepLocaleForTheProcess();
            UseLocale("ru_RU.CP1251");
            KeepLocaleForTheProcess();  // a second call keeps the first
            unsigned onThread = 0;
            bool turkishOnThread = false;
            std::thread([&] {
                onThread = GetACP();
                turkishOnThread = IsTurkishLocale();
            }).join();
            const bool kept = GetACP() == 1254 && GetOEMCP() == 857 && IsTurkishLocale() &&
                              onThread == 1254 && turkishOnThread;
            std::exit(kept ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    UseLocale("ru_RU.CP1251");
    EXPECT_EQ(GetACP(), 1251u);
}

TEST_F(LocaleCodePages, A866NameConvertsTo1251AndUtf8AndBack) {
    SetCodePages(1251, 866);
    EXPECT_EQ(OemToChar(kOem866), kAnsi1251);
    EXPECT_EQ(CharToOem(kAnsi1251), kOem866);
    EXPECT_EQ(AnsiToUtf8(kAnsi1251), kUtf8);
    EXPECT_EQ(Utf8ToAnsi(kUtf8), kAnsi1251);
    EXPECT_EQ(ConvertCodePage(kOem866, 866, CP_UTF8), kUtf8);
    EXPECT_EQ(ConvertCodePage(kUtf8, CP_UTF8, 866), kOem866);
    EXPECT_EQ(OemToChar("META-INF/MANIFEST.MF"), "META-INF/MANIFEST.MF");

    SetCodePages(CP_UTF8, CP_UTF8);
    EXPECT_EQ(OemToChar(kUtf8), kUtf8);
}

TEST_F(LocaleCodePages, WhatTheTargetCannotHoldBecomesAQuestionMark) {
    EXPECT_EQ(ConvertCodePage("a日本b", CP_UTF8, 1251), "a??b");
    EXPECT_EQ(ConvertCodePage("a\xFFz", CP_UTF8, 1252), "a?z");  // not UTF-8
    EXPECT_EQ(ConvertCodePage("\x81", 1252, CP_UTF8), "?");      // a hole in 1252
    EXPECT_EQ(ConvertCodePage("Ж\xD0", CP_UTF8, 866), "\x86?");  // cut at the end
}

TEST_F(LocaleCodePages, Utf8CaseIsUnicodeWhateverTheProcessLocale) {
    UseLocale("en_US.UTF-8");
    EXPECT_EQ(AnsiLowerCase("ÀÉÎ ПРИВЕТ ΣΑΣ Straße I"), "àéî привет σασ straße i");
    EXPECT_EQ(AnsiUpperCase("àéî привет ǆ i"), "ÀÉÎ ПРИВЕТ Ǆ I");
    EXPECT_EQ(AnsiLowerCase("AB\xC0\xFF"), "ab\xC0\xFF");  // stray bytes stay
    EXPECT_TRUE(AnsiSameText("Manifest.MF", "MANIFEST.mf"));
    EXPECT_TRUE(AnsiSameText("ПРИВЕТ", "привет"));
    EXPECT_LT(AnsiCompareText("apple", "BANANA"), 0);
    EXPECT_FALSE(IsTurkishLocale());

    UseLocale("tr_TR.UTF-8");
    EXPECT_TRUE(IsTurkishLocale());
    EXPECT_EQ(AnsiLowerCase("Iİ"), "ıi");
    EXPECT_EQ(AnsiUpperCase("iı"), "İI");
}

TEST_F(LocaleCodePages, SingleByteCaseGoesThroughTheCodePage) {
    SetCodePages(1251, 866);
    EXPECT_EQ(AnsiLowerCase("\xCF\xD0\xC8 ABC"), "\xEF\xF0\xE8 abc");
    EXPECT_EQ(AnsiUpperCase(kAnsi1251), "\xCF\xD0\xC8\xC2\xC5\xD2");
    SetCodePages(1252, 437);
    EXPECT_EQ(AnsiLowerCase("\x8A\xC9I"), "\x9A\xE9i");        // Š É I
    EXPECT_EQ(AnsiUpperCase("\xFF\xB5\xDF"), "\x9F\xB5\xDF");  // ÿ -> Ÿ; µ and ß stay
    SetCodePages(1254, 857);
    EXPECT_EQ(AnsiLowerCase("I\xDD"), "\xFDi");  // I -> ı, İ -> i
    EXPECT_EQ(AnsiUpperCase("i\xFD"), "\xDDI");
}

// Names that are not the user's text compare the same in every locale:
// ASCII letters by ASCII rules, the rest without the Turkish i rules.
TEST_F(LocaleCodePages, InvariantNamesIgnoreTheTurkishRules) {
    const struct {
        const char* locale;  // or a code page given explicitly
        unsigned ansi;
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"tr_TR.UTF-8", 0, "Main", "MAIN", true},
        {"tr_TR.UTF-8", 0, "ids", "IDS", true},
        {"tr_TR.UTF-8", 0, "ids", "İDS", false},
        {"tr_TR.UTF-8", 0, "ıds", "IDS", false},
        {"tr_TR.UTF-8", 0, "ПРИВЕТ", "привет", true},
        {"tr_TR.UTF-8", 0, "Main", "Mai", false},
        {"tr_TR.UTF-8", 0, "a\xFF", "A\xFF", true},  // stray bytes stand for themselves
        {"tr_TR.UTF-8", 0, "a\xFF", "a\xFE", false},
        {"en_US.UTF-8", 0, "java", "JAVA", true},
        {"", 1254, "ids", "IDS", true},
        {"", 1254, "\xDD\x64s", "ids", false},  // İ is not i
        {"", 1254, "\xDD", "\xFD", false},      // nor ı
        {"", 1254, "\xC7\xD6", "\xE7\xF6", true},
        {"", 1251, "\xCF\xD0\xC8", "\xEF\xF0\xE8", true},
    };
    for (const auto& c : cases) {
        UseLocale(c.locale);
        SetCodePages(c.ansi, c.ansi == 1254 ? 857 : 866);
        EXPECT_EQ(SameInvariantText(c.a, c.b), c.same) << c.locale << c.ansi << " " << c.a;
        EXPECT_EQ(SameInvariantText(c.b, c.a), c.same) << c.locale << c.ansi << " " << c.b;
    }
    EXPECT_EQ(AsciiLowerCase("IDS İ Main\xCF"), "ids İ main\xCF");
}

TEST(Utf8, DecodeMarksBrokenBytes) {
    std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xC0\x80\xED\xA0\x80";
    std::size_t pos = 0;
    std::vector<char32_t> got;
    while (pos < text.size()) {
        got.push_back(DecodeUtf8(text, pos));
    }
    EXPECT_EQ(got, (std::vector<char32_t>{U'a', 0xE9, 0x20AC, 0x1F600, 0xFFFD, 0xFFFD, 0xFFFD,
                                          0xFFFD, 0xFFFD}));
    EXPECT_EQ(EncodeUtf8(0x1F600), "\xF0\x9F\x98\x80");
    EXPECT_EQ(SimpleLower(U'Ω'), U'ω');
    EXPECT_EQ(SimpleUpper(U'ß'), U'ß');
}
