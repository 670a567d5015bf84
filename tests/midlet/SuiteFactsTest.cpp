// The suite facts over hand-made JARs: MIDlet classes followed through
// their superclasses (a chain, a cycle, a class outside the JAR, a missing
// one), class files too new or unreadable, the screen from a maker's
// attribute and from PNG headers, and what an archive is.
#include <gtest/gtest.h>

#include "midlet/ClassBuilder.h"
#include "midlet/PrepareSupport.h"
#include "midlet/suite/SuiteFacts.h"
#include "midlet/suite/SuiteFactsReport.h"
#include "midlet/suite/SuiteParts.h"

namespace preptest {
namespace {

std::string ClassOf(const std::string& name, const std::string& super, std::uint16_t major = 47) {
    classtest::ClassBuilder b(name, super);
    b.Method("<init>", "()V", classtest::kReturn, 0, false);
    return b.Bytes(major);
}

// A PNG header of this size (the rest of the file does not matter here).
std::string PngOf(std::uint32_t width, std::uint32_t height) {
    using classtest::ClassBuilder;
    return "\x89PNG\r\n\x1a\n" + ClassBuilder::U4(13) + "IHDR" + ClassBuilder::U4(width) +
           ClassBuilder::U4(height) + std::string(5, '\0') + ClassBuilder::U4(0);
}

using SuiteFacts = Workspace;

TEST_F(SuiteFacts, MidletClassesAreFollowedThroughTheirSuperclasses) {
    const std::string midlet = "javax/microedition/midlet/MIDlet";
    MakeZipJar(In("s.jar"),
               "MIDlet-Name: S\r\nMIDlet-1: Good, /icon.png, a.Good\r\n"
               "MIDlet-2: Cycle, , a.Ping\r\nMIDlet-3: Canvas, , a.View\r\n"
               "MIDlet-4: Gone, , a.Gone\r\nMIDlet-5: NoClass, ,\r\n"
               "Nokia-MIDlet-Original-Display-Size: 176,208\r\n\r\n",
               {{"a/Good.class", ClassOf("a/Good", "a/Base")},
                {"a/Base.class", ClassOf("a/Base", midlet)},
                {"a/Ping.class", ClassOf("a/Ping", "a/Pong")},
                {"a/Pong.class", ClassOf("a/Pong", "a/Ping")},
                {"a/View.class", ClassOf("a/View", "javax/microedition/lcdui/Canvas")},
                {"a/New.class", ClassOf("a/New", "java/lang/Object", 50)},
                {"a/Bad.class", std::string("\xCA\xFE\xBA\xBE\0\0\0\x2f\0\x05\x01", 11)},
                {"icon.png", PngOf(16, 16)},
                {"big.png", PngOf(176, 208)}});
    const midlet::SuiteFacts facts = midlet::ComputeSuiteFacts(In("s.jar"), "");
    std::vector<std::string> problems;
    for (const midlet::MidletClassFact& m : facts.midlets) {
        problems.push_back(m.attribute + " " + m.className + ": " + m.problem);
    }
    EXPECT_EQ(problems,
              (std::vector<std::string>{
                  "MIDlet-1 a.Good: ", "MIDlet-2 a.Ping: its superclasses form a cycle at a.Ping",
                  "MIDlet-3 a.View: its superclass javax.microedition.lcdui.Canvas is neither "
                  "in the JAR nor a MIDlet",
                  "MIDlet-4 a.Gone: the class is not in the JAR", "MIDlet-5 : names no class"}));
    EXPECT_EQ(facts.classCount, 6);
    EXPECT_EQ(facts.highestMajor, 50);
    EXPECT_EQ(facts.classesTooNew, std::vector<std::string>{"a/New.class"});
    ASSERT_EQ(facts.unreadableClasses.size(), 1u);
    EXPECT_EQ(facts.unreadableClasses[0], "a/Bad.class: truncated constant pool");
    EXPECT_EQ(facts.icons.size(), 1u);
    ASSERT_TRUE(facts.screen.has_value());
    EXPECT_EQ(facts.screen->basis, "Nokia-MIDlet-Original-Display-Size");
    EXPECT_EQ(midlet::SuiteFactFindings(facts, "s.jar").size(), 6u);  // 4 MIDlets, new, bad
}

TEST(ScreenFacts, PngHeadersAndSizeValues) {
    midlet::ScreenSize size;
    EXPECT_TRUE(midlet::ReadPngSize(PngOf(240, 320), size));
    EXPECT_EQ(size, (midlet::ScreenSize{240, 320}));
    EXPECT_FALSE(midlet::ReadPngSize(PngOf(0, 320), size));
    EXPECT_FALSE(midlet::ReadPngSize(PngOf(240, 320).substr(0, 23), size));
    EXPECT_FALSE(midlet::ReadPngSize("GIF89a" + PngOf(1, 1), size));
    for (const char* good : {"176,208", "176x208", " 176 X 208 "}) {
        EXPECT_TRUE(midlet::ParseScreenSize(good, size) && size.width == 176) << good;
    }
    for (const char* bad : {"", "176", "176,", "x208", "0,10", "10,99999", "17a,208"}) {
        EXPECT_FALSE(midlet::ParseScreenSize(bad, size)) << bad;
    }
}

TEST(SuiteKind, FromDescriptorsAndEntries) {
    const auto list = [](const std::string& text) { return midlet::ParseJad(text); };
    const midlet::AttributeList none;
    struct Case {
        std::vector<std::string> names;
        midlet::AttributeList manifest, jad;
        bool jam;
        std::optional<midlet::SuiteKind> kind;
    };
    const Case cases[] = {
        {{}, list("MIDlet-Name: A\n"), none, true, midlet::SuiteKind::MidletSuite},
        {{}, none, list("MIDlet-1: A, , a.A\n"), false, midlet::SuiteKind::MidletSuite},
        {{"a/App.COD"}, none, none, false, midlet::SuiteKind::BlackBerryModule},
        {{}, none, list("RIM-COD-URL: a.cod\n"), false, midlet::SuiteKind::BlackBerryModule},
        {{}, none, none, true, midlet::SuiteKind::DoJa},
        {{}, list("AppClass: Game\n"), none, false, midlet::SuiteKind::DoJa},
        {{}, list("MIDxlet-Name: W\n"), none, false, midlet::SuiteKind::Wipi},
        {{"a.class"}, list("Main-Class: a\n"), none, false, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(midlet::KindFromDescriptors(c.names, c.manifest, c.jad, c.jam), c.kind);
    }
}

// The longest prefix names the API; a package the table lacks has none.
TEST(SuiteTables, ApisByTheLongestPrefix) {
    const midlet::SuiteTables& tables = midlet::BuiltInSuiteTables();
    const auto api = [&](const char* package) {
        const midlet::ApiEntry* entry = tables.ApiOf(package);
        return entry != nullptr ? entry->api : std::string("-");
    };
    EXPECT_EQ(api("javax/microedition/lcdui"), "MIDP");
    EXPECT_EQ(api("javax/microedition/lcdui/game"), "MIDP 2.0 (JSR 118)");
    EXPECT_EQ(api("javax/microedition/io/file"), "FileConnection (JSR 75)");
    EXPECT_EQ(api("com/nokia/mid/ui/gestures"), "Nokia UI API");
    EXPECT_EQ(api("javax/microedition/lcduix"), "-");
    EXPECT_EQ(tables.ApiOf("com/nttdocomo/ui")->platform, "doja");
    EXPECT_FALSE(tables.screens.empty());
    EXPECT_EQ(tables.screenAttributes.size(), 2u);
}

}  // namespace
}  // namespace preptest
