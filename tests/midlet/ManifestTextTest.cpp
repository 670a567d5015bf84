// The name pass, the descriptor pass and the JAD tail over lines in memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "midlet/ManifestText.h"
#include "platform/CodePage.h"

namespace midlet {
namespace {

using Lines = std::vector<std::string>;

// Both passes, as the preparation runs them one after the other.
struct Passes {
    ProgramState state;
    std::string iconPath;

    Lines Run(const Lines& manifest, JadKind jadKind) {
        const Lines named = NamePass(manifest, state);
        EXPECT_EQ(named.size(), manifest.size());
        return DescriptorPass(named, jadKind, state.cleanedName, iconPath);
    }
};

std::string CleanedNameOf(const std::string& nameLine) {
    ProgramState state;
    NamePassLine(nameLine, state);
    return state.cleanedName;
}

const Lines kSpaceRaceManifest = {
    "Manifest-Version: 1.0",
    "MIDlet-Name: Space Race Deluxe Edition",
    "MIDlet-1: Space Race, /icon.png, com.x.Main",
    "MIDlet-Info-URL: http://old.example.org/info",
    "MIDlet-Vendor: Somebody",
};

TEST(ManifestText, SpaceRaceManifestBecomesItsFullJad) {
    Passes passes;
    const Lines out = passes.Run(kSpaceRaceManifest, JadKind::Full);

    const Lines expected = {
        "Manifest-Version: 1.0",
        "MIDlet-Name: SpaceRaceDeluxe",
        "MIDlet-1: SpaceRaceDeluxe, icon.png,  com.x.Main",
        std::string("MIDlet-Info-URL: ") + kInfoAddress,
        "MIDlet-Vendor: Somebody",
    };
    EXPECT_EQ(out, expected);
    EXPECT_EQ(passes.state.cleanedName, "SpaceRaceDeluxe");
    EXPECT_EQ(ProjectNameOf(passes.state.cleanedName), "SpaceRace");
    EXPECT_EQ(passes.iconPath, "icon.png");

    const Lines tail = JadTail(1234, "SpaceRace");
    EXPECT_EQ(tail, (Lines{"MIDlet-Jar-Size: 1234", "MIDlet-Jar-URL: SpaceRace.jar"}));
}

TEST(NamePass, DropsExactlyTheSeventeenCharacters) {
    std::string dropped;
    for (int c = 0; c < 256; ++c) {
        if (IsDroppedNameChar(static_cast<unsigned char>(c))) {
            dropped += static_cast<char>(c);
        }
    }
    EXPECT_EQ(dropped, " !()*,./:;<>?[\\]~");

    // Everything else survives, control bytes, 0x7F and high bytes included.
    EXPECT_EQ(CleanMidletName("\"'`#$%&+-"), "\"'`#$%&+-");
    EXPECT_EQ(CleanMidletName("=@^_{|}\x7F\x01\t"), "=@^_{|}\x7F\x01\t");
    EXPECT_EQ(CleanMidletName("\x80\xFF"), "\x80\xFF");
}

TEST(NamePass, NamesWithPunctuation) {
    EXPECT_EQ(CleanedNameOf("MIDlet-Name: My Game! (v1.2)"), "MyGamev12");
    EXPECT_EQ(ProjectNameOf("MyGamev12"), "MyGamev12");

    EXPECT_EQ(CleanedNameOf("MIDlet-Name: Rally: Night Stage"), "RallyNightStage");
    EXPECT_EQ(ProjectNameOf("RallyNightStage"), "RallyNigh");

    // The cut at 15 comes after the filtering.
    EXPECT_EQ(CleanedNameOf("MIDlet-Name: Bob & Ann's_Quest-2"), "Bob&Ann's_Quest");
    EXPECT_EQ(ProjectNameOf("Bob&Ann's_Quest"), "Bob&Ann's");

    EXPECT_EQ(CleanedNameOf("MIDlet-Name: a.b/c\\d[e]f<g>h?i~j;k*l,m"), "abcdefghijklm");
}

TEST(NamePass, RewritesTheWholeLine) {
    ProgramState state;
    EXPECT_EQ(NamePassLine("MIDlet-Name: Chess 3D", state), "MIDlet-Name: Chess3D");
    // Whatever stood before the key goes too, and the value starts after the
    // line's first colon.
    EXPECT_EQ(NamePassLine("X: MIDlet-Name: Y", state), "MIDlet-Name: MIDlet-NameY");
    EXPECT_EQ(state.cleanedName, "MIDlet-NameY");
}

TEST(NamePass, OneSpaceAfterTheColonIsSkipped) {
    EXPECT_EQ(CleanedNameOf("MIDlet-Name:Chess"), "Chess");
    EXPECT_EQ(CleanedNameOf("MIDlet-Name: Chess"), "Chess");
    EXPECT_EQ(CleanedNameOf("MIDlet-Name:\tChess"), "\tChess");

    ProgramState state;
    for (const std::string line : {"MIDlet-Name:", "MIDlet-Name: ", "MIDlet-Name:  "}) {
        state.cleanedName = "Earlier";
        EXPECT_EQ(NamePassLine(line, state), "MIDlet-Name: ");
        EXPECT_EQ(state.cleanedName, "");
    }
    state.cleanedName = "Earlier";
    EXPECT_EQ(NamePassLine("MIDlet-Name:X", state), "MIDlet-Name: X");
}

// Cuts of 15 and 9 bytes never end inside a character of the ANSI code
// page: in UTF-8 they go back to the last whole sequence, in a single-byte
// code page every byte is a character.
TEST(NamePass, CutsEndOnCharacterBoundaries) {
    struct Case {
        unsigned codePage;
        std::string value;
        std::string cleaned;
        std::string project;
    };
    const std::string shakhmaty = "\xD0\xA8\xD0\xB0\xD1\x85\xD0\xBC\xD0\xB0\xD1\x82\xD1\x8B";
    const std::vector<Case> cases = {
        // "Шахматы": 14 bytes; the project name keeps four letters, not 4.5.
        {65001, shakhmaty, shakhmaty, "\xD0\xA8\xD0\xB0\xD1\x85\xD0\xBC"},
        // "Гонка Ночью": the 15-byte cut falls inside the 8th letter.
        {65001, "\xD0\x93\xD0\xBE\xD0\xBD\xD0\xBA\xD0\xB0 \xD0\x9D\xD0\xBE\xD1\x87",
         "\xD0\x93\xD0\xBE\xD0\xBD\xD0\xBA\xD0\xB0\xD0\x9D\xD0\xBE",
         "\xD0\x93\xD0\xBE\xD0\xBD\xD0\xBA"},
        // Three- and four-byte sequences.
        {65001, "abcdefg\xE2\x82\xAC\xF0\x9F\x8E\xAE!", "abcdefg\xE2\x82\xAC\xF0\x9F\x8E\xAE",
         "abcdefg"},
        // Bytes that start no sequence count one each and are kept.
        {65001, "abcdefgh\xFFxyzuvwxyz", "abcdefgh\xFFxyzuvw", "abcdefgh\xFF"},
        {65001, "abcdefgh\xD0", "abcdefgh\xD0", "abcdefgh\xD0"},
        // ASCII is cut as before.
        {65001, "Bob & Ann's_Quest-2", "Bob&Ann's_Quest", "Bob&Ann's"},
        // Code page 1251: one byte per letter.
        {1251, "\xD8\xE0\xF5\xEC\xE0\xF2\xFB \xC4\xEB\xFF \xC2\xF1\xE5\xF5 \xC2\xEE\xE7",
         "\xD8\xE0\xF5\xEC\xE0\xF2\xFB\xC4\xEB\xFF\xC2\xF1\xE5\xF5\xC2",
         "\xD8\xE0\xF5\xEC\xE0\xF2\xFB\xC4\xEB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        platform::SetCodePages(c.codePage, c.codePage == 1251 ? 866 : c.codePage);
        const std::string cleaned = CleanedNameOf("MIDlet-Name: " + c.value);
        EXPECT_EQ(cleaned, c.cleaned);
        EXPECT_EQ(ProjectNameOf(cleaned), c.project);
    }
    platform::SetCodePages(0, 0);
}

TEST(NamePass, NameCarriesOverAndTheLastLineDecides) {
    ProgramState state;
    state.cleanedName = "FromLastJar";
    const Lines noName = {"Manifest-Version: 1.0", "midlet-name: lower case key", ""};
    EXPECT_EQ(NamePass(noName, state), noName);
    EXPECT_EQ(state.cleanedName, "FromLastJar");

    const Lines twoNames = {"MIDlet-Name: First", "MIDlet-Vendor: V", "MIDlet-Name: Second"};
    EXPECT_EQ(NamePass(twoNames, state),
              (Lines{"MIDlet-Name: First", "MIDlet-Vendor: V", "MIDlet-Name: Second"}));
    EXPECT_EQ(state.cleanedName, "Second");
}

TEST(DescriptorPass, Midlet1Shapes) {
    struct Case {
        std::string line;
        std::string icon;
        std::string rewritten;
    };
    const std::vector<Case> cases = {
        // No spaces, leading slash.
        {"MIDlet-1: Chess,/img/c.png,org.x.C", "img/c.png", "MIDlet-1: Name, img/c.png, org.x.C"},
        // No spaces, no slash: the icon field is taken whole.
        {"MIDlet-1: Chess,icon.png,org.x.C", "icon.png", "MIDlet-1: Name, icon.png, org.x.C"},
        {"MIDlet-1: jbricks,jbricks.png,example.payment.jbricks.Main", "jbricks.png",
         "MIDlet-1: Name, jbricks.png, example.payment.jbricks.Main"},
        // An empty icon field without spaces keeps the class in its place.
        {"MIDlet-1: Hello World,,org.x.HelloWorldMIDlet", "",
         "MIDlet-1: Name, , org.x.HelloWorldMIDlet"},
        // Only one space after the first comma is skipped.
        {"MIDlet-1: Chess,  /c.png, C", " /c.png", "MIDlet-1: Name,  /c.png,  C"},
        // An empty icon field.
        {"MIDlet-1: Chess, , org.x.C", "", "MIDlet-1: Name, ,  org.x.C"},
        // Only one slash is taken away.
        {"MIDlet-1: Chess, //i.png, C", "/i.png", "MIDlet-1: Name, /i.png,  C"},
        // Further fields stay in the tail.
        {"MIDlet-1: A, /a.png, a.A, extra", "a.png", "MIDlet-1: Name, a.png,  a.A, extra"},
        // Two fields: the rest of the remainder is the icon, the tail is empty.
        {"MIDlet-1: Chess, /c.png", "c.png", "MIDlet-1: Name, c.png, "},
        // Nothing after the first comma.
        {"MIDlet-1: Chess,", "", "MIDlet-1: Name, , "},
        {"MIDlet-1: Chess, ", "", "MIDlet-1: Name, , "},
        // No comma at all.
        {"MIDlet-1: Chess", "", "MIDlet-1: Name, , "},
        // Text before the key goes with the name field.
        {"x MIDlet-1: Chess, /c.png, C", "c.png", "MIDlet-1: Name, c.png,  C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::string icon = "stale";
        EXPECT_EQ(DescriptorPass({c.line}, JadKind::Full, "Name", icon), Lines{c.rewritten});
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(DescriptorPass({c.line}, JadKind::Simple, "Name", icon), Lines{c.rewritten});
    }
}

TEST(DescriptorPass, OtherMidletLinesAndKeysInOtherCase) {
    const Lines manifest = {
        "MIDlet-10: Ten, /ten.png, t.T", "MIDlet-2: Two, /two.png, t.W",
        "midlet-1: lower, /l.png, l.L",  "midlet-info-url: http://keep.example.org/",
        "MIDlet-1: One, /one.png, o.O",
    };
    std::string icon;
    EXPECT_EQ(DescriptorPass(manifest, JadKind::Full, "N", icon),
              (Lines{"MIDlet-10: Ten, /ten.png, t.T", "MIDlet-2: Two, /two.png, t.W",
                     "midlet-1: lower, /l.png, l.L", "midlet-info-url: http://keep.example.org/",
                     "MIDlet-1: N, one.png,  o.O"}));
    EXPECT_EQ(icon, "one.png");
    EXPECT_EQ(DescriptorPass(manifest, JadKind::Simple, "N", icon),
              (Lines{"MIDlet-1: N, one.png,  o.O"}));
}

TEST(DescriptorPass, IconPathComesFromTheLastMidlet1Line) {
    std::string icon = "from an earlier JAR";
    DescriptorPass({"MIDlet-1: A, /a.png, a.A", "MIDlet-1: B, /b.png, b.B"}, JadKind::Full, "N",
                   icon);
    EXPECT_EQ(icon, "b.png");

    DescriptorPass({"Manifest-Version: 1.0"}, JadKind::Full, "N", icon);
    EXPECT_EQ(icon, "");
}

TEST(DescriptorPass, InfoUrlIsReplacedWhereverTheKeyStands) {
    std::string icon;
    const std::string replaced = std::string("MIDlet-Info-URL: ") + kInfoAddress;
    EXPECT_EQ(DescriptorPass({"MIDlet-Info-URL:", "X-MIDlet-Info-URL: y", "MIDlet-Info-URL: a, b"},
                             JadKind::Full, "N", icon),
              (Lines{replaced, replaced, replaced}));
}

TEST(DescriptorPass, SimpleKindWithoutMidlet1IsEmpty) {
    std::string icon;
    EXPECT_TRUE(
        DescriptorPass({"Manifest-Version: 1.0", "MIDlet-Name: N", "MIDlet-Jar-Size: 5", ""},
                       JadKind::Simple, "N", icon)
            .empty());
}

// The JAD tail states the JAR's size and place; the full kind leaves the
// manifest's own lines of these two attributes out, continuation lines
// included, whatever the case of their names.
TEST(DescriptorPass, FullKindLeavesJarSizeAndUrlToTheTail) {
    const Lines manifest = {"",
                            "MIDlet-Jar-Size: 99",
                            " continuation",
                            "MIDlet-Jar-URL: http://old.example.org/very/long/",
                            " path/old.jar",
                            "midlet-jar-url: lower.jar",
                            "MIDlet-Jar-Size : 7",
                            "MIDlet-Jar-Sizes: kept",
                            "X-MIDlet-Jar-Size: kept",
                            " kept continuation",
                            "MIDlet-Vendor: V",
                            ""};
    std::string icon;
    EXPECT_EQ(DescriptorPass(manifest, JadKind::Full, "N", icon),
              (Lines{"", "MIDlet-Jar-Sizes: kept", "X-MIDlet-Jar-Size: kept", " kept continuation",
                     "MIDlet-Vendor: V", ""}));
}

TEST(ManifestText, Midlet1BeforeTheNameLineGetsThisManifestsName) {
    Passes passes;
    passes.state.cleanedName = "PreviousJar";
    const Lines out =
        passes.Run({"MIDlet-1: Old, /o.png, o.O", "MIDlet-Name: New One"}, JadKind::Full);
    EXPECT_EQ(out, (Lines{"MIDlet-1: NewOne, o.png,  o.O", "MIDlet-Name: NewOne"}));
}

TEST(JadTail, SizeInDecimalWithoutGrouping) {
    EXPECT_EQ(JadTail(0, "A"), (Lines{"MIDlet-Jar-Size: 0", "MIDlet-Jar-URL: A.jar"}));
    EXPECT_EQ(JadTail(4294967295u, "Bob&Ann's")[0], "MIDlet-Jar-Size: 4294967295");
    EXPECT_EQ(JadTail(1048576, "Bob&Ann's")[1], "MIDlet-Jar-URL: Bob&Ann's.jar");
}

// A JAD line cannot be continued: each continuation joins its attribute's
// line without its one space; an empty line ends the joining, and a line
// that begins without a space starts a new one.
TEST(JadLines, ContinuationsJoinTheirAttribute) {
    EXPECT_EQ(JoinContinuationLines({"MIDlet-Description: a lo", " ng te", "  xt", "B: 1"}),
              (Lines{"MIDlet-Description: a long te xt", "B: 1"}));
    EXPECT_EQ(JoinContinuationLines({"A: 1", "", " orphan"}), (Lines{"A: 1", "", " orphan"}));
    EXPECT_EQ(JoinContinuationLines({" first", "A: 1"}), (Lines{" first", "A: 1"}));
    EXPECT_EQ(JoinContinuationLines({"A: 1", "B: 2"}), (Lines{"A: 1", "B: 2"}));
}

}  // namespace
}  // namespace midlet
