// The directory-wide name conversions give, name for name, what the
// platform's conversions give, in every code-page setting: the ASCII short
// cut may only be taken where it changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "archive/names/ZipNameCodec.h"
#include "platform/CodePage.h"

namespace {

// ANSI and OEM code page; 0, 0 is the locale's own setting.
class NameCodec : public ::testing::TestWithParam<std::tuple<unsigned, unsigned>> {
  protected:
    void SetUp() override {
        platform::SetCodePages(std::get<0>(GetParam()), std::get<1>(GetParam()));
    }
    void TearDown() override { platform::SetCodePages(0, 0); }
};

std::vector<std::string> Names() {
    std::string everyAscii;
    for (int c = 1; c < 128; ++c) {
        everyAscii += static_cast<char>(c);
    }
    return {"META-INF/MANIFEST.MF",
            "img/Icon.PNG",
            "",
            std::string("te\0t", 4),
            "DIR/FILE.TXT",
            "Ii",  // lower-cased apart under the Turkish rules
            everyAscii,
            "\x8f\xe0\xa8\xa2\xa5\xe2.txt",   // Cyrillic in CP866, other letters elsewhere
            "caf\xc3\xa9/\xe2\x82\xac.txt"};  // UTF-8
}

TEST_P(NameCodec, GivesWhatThePlatformGives) {
    for (const bool oem : {true, false}) {
        const archive::EntryNameCodec codec(oem);
        for (const std::string& name : Names()) {
            const std::string ansi = oem ? platform::OemToChar(name) : name;
            EXPECT_EQ(codec.StoredToAnsi(name), ansi) << name;
            EXPECT_EQ(codec.AnsiToStored(name), oem ? platform::CharToOem(name) : name) << name;
            EXPECT_EQ(codec.AnsiToUtf8(name), platform::AnsiToUtf8(name)) << name;
            EXPECT_EQ(codec.Utf8ToAnsi(name), platform::Utf8ToAnsi(name)) << name;
            EXPECT_EQ(codec.AnsiLower(name), platform::AnsiLowerCase(name)) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(CodePages, NameCodec,
                         ::testing::Values(std::make_tuple(0u, 0u), std::make_tuple(1251u, 866u),
                                           std::make_tuple(1252u, 437u),
                                           std::make_tuple(1254u, 857u),
                                           std::make_tuple(932u, 932u),
                                           std::make_tuple(65001u, 437u)));

// The Turkish dotted and dotless I lower-case to letters of their own, so
// the ASCII table must not be taken for them.
TEST(NameCodecTurkish, LowerCasesTheCapitalIAsTheLocaleDoes) {
    platform::SetCodePages(1254, 857);
    const archive::EntryNameCodec codec(true);
    EXPECT_EQ(codec.AnsiLower("ICON.PNG"), platform::AnsiLowerCase("ICON.PNG"));
    EXPECT_NE(codec.AnsiLower("ICON.PNG"), "icon.png");
    platform::SetCodePages(0, 0);
}

}  // namespace
