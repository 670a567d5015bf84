// One JAR's whole way through a run, checked byte for byte with peer tools:
// the JAD, the manifest put back into the JAR, the JAR's soundness, the icon,
// the IDS file and an empty temp folder afterwards.
#include <gtest/gtest.h>

#include "midlet/ManifestText.h"
#include "midlet/PrepareSupport.h"
#include "platform/TextFile.h"

namespace preptest {
namespace {

using PrepareOneJar = Workspace;

const std::string kInfoLine = std::string("MIDlet-Info-URL: ") + midlet::kInfoAddress;

TEST_F(PrepareOneJar, FullJadWithIdsAndIconFromAJarToolJar) {
    const std::string listed = In("race.jar");
    MakeJarToolJar(listed,
                   "MIDlet-Name: Space Race Deluxe Edition\n"
                   "MIDlet-1: Space Race, /icon.png, com.x.Main\n"
                   "MIDlet-Info-URL: http://old.example.org/\n"
                   "MIDlet-Vendor: Somebody\n",
                   {{"icon.png", TinyPng()}, {"com/x/Main.class", ClassBytes("main")}});
    const std::string listedBytes = ReadBytes(listed);
    const std::string original = EntryBytes(listed, "META-INF/MANIFEST.MF");
    ASSERT_NE(original.find("Created-By: "), std::string::npos) << original;

    Run({listed});

    EXPECT_TRUE(output.logShown);
    EXPECT_EQ(output.log,
              (std::vector<std::string>{"SpaceRace.jad generated!", "SpaceRace.ids generated!"}));
    EXPECT_EQ(output.advances, (std::vector<int>{2, 1}));
    EXPECT_EQ(state.cleanedName, "SpaceRaceDeluxe");
    EXPECT_EQ(state.projectName, "SpaceRace");
    EXPECT_EQ(state.jadCount, 1);
    EXPECT_EQ(state.idsCount, 1);

    // The manifest in the JAR: three lines rewritten, the rest as jar wrote it.
    std::string manifest = original;
    manifest =
        Replace(manifest, "MIDlet-Name: Space Race Deluxe Edition", "MIDlet-Name: SpaceRaceDeluxe");
    manifest = Replace(manifest, "MIDlet-1: Space Race, /icon.png, com.x.Main",
                       "MIDlet-1: SpaceRaceDeluxe, icon.png,  com.x.Main");
    manifest = Replace(manifest, "MIDlet-Info-URL: http://old.example.org/", kInfoLine);
    const std::string jar = Projects("SpaceRace/SpaceRace.jar");
    EXPECT_EQ(EntryBytes(jar, "META-INF/MANIFEST.MF"), manifest);
    EXPECT_TRUE(ArchiveIsSound(jar));
    EXPECT_EQ(EntryNames(jar), EntryNames(listed));
    EXPECT_EQ(EntryBytes(jar, "com/x/Main.class"), ClassBytes("main"));

    // The JAD: the same text, then the tail naming the final JAR.
    const auto size = fs::file_size(jar);
    EXPECT_NE(size, listedBytes.size());
    EXPECT_EQ(ReadBytes(Projects("SpaceRace/SpaceRace.jad")),
              manifest + "MIDlet-Jar-Size: " + std::to_string(size) +
                  "\r\nMIDlet-Jar-URL: SpaceRace.jar\r\n");

    EXPECT_EQ(ReadBytes(Projects("SpaceRace/icon.png")), TinyPng());
    EXPECT_EQ(FolderNames(Projects("SpaceRace")),
              (std::vector<std::string>{"SpaceRace.jad", "SpaceRace.jar", "icon.png"}));
    EXPECT_EQ(FolderNames(Projects()), (std::vector<std::string>{"SpaceRace.ids", "SpaceRace/"}));
    const auto ids = platform::ReadAllLines(Projects("SpaceRace.ids"));
    ASSERT_EQ(ids.size(), 15u);
    EXPECT_EQ(ids[1], "SpaceRaceDeluxe");
    EXPECT_EQ(ids[2], "fs:/card0/Applications/SpaceRace/SpaceRace.jad");

    EXPECT_TRUE(TempLeftovers().empty());
    EXPECT_EQ(ReadBytes(listed), listedBytes);
}

TEST_F(PrepareOneJar, SimpleJadAndAnIconInAFolder) {
    // LF line ends and no spaces around the fields.
    const std::string listed = In("chess.jar");
    MakeZipJar(listed,
               "Manifest-Version: 1.0\nMIDlet-Name: Chess\nMIDlet-1: Chess,/img/c.png,org.x.C\n"
               "MIDlet-2: Other, /o.png, org.x.O\nMIDlet-Vendor: V\n",
               {{"img/c.png", TinyPng()}, {"o.png", "other"}, {"org/x/C.class", ClassBytes("C")}});
    options.jadKind = midlet::JadKind::Simple;
    options.writeIds = false;

    Run({listed});

    EXPECT_EQ(output.log, (std::vector<std::string>{"Chess.jad generated!"}));
    EXPECT_EQ(output.advances, (std::vector<int>{2, 1}));
    const std::string line = "MIDlet-1: Chess, img/c.png, org.x.C\r\n";
    EXPECT_EQ(ReadBytes(Projects("Chess/Chess.jad")), line);
    EXPECT_EQ(EntryBytes(Projects("Chess/Chess.jar"), "META-INF/MANIFEST.MF"), line);
    EXPECT_TRUE(ArchiveIsSound(Projects("Chess/Chess.jar")));
    EXPECT_EQ(ReadBytes(Projects("Chess/img/c.png")), TinyPng());
    EXPECT_EQ(FolderNames(Projects("Chess")),
              (std::vector<std::string>{"Chess.jad", "Chess.jar", "img/"}));
    EXPECT_EQ(FolderNames(Projects()), (std::vector<std::string>{"Chess/"}));
}

// A manifest stored in lower case behind other entries. (The jar tool's
// JARs above carry data descriptors on their deflated entries.)
TEST_F(PrepareOneJar, ManifestInLowerCaseLateInTheArchive) {
    const std::string listed = In("late.jar");
    const std::string python =
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    z.writestr('a/A.class', b'\\xca\\xfe\\xba\\xbe' + b'a' * 300)\n"
        "    z.writestr('icon.png', open(sys.argv[2], 'rb').read())\n"
        "    z.writestr('meta-inf/manifest.mf', b'MIDlet-Name: Late One\\r\\n'\n"
        "               b'MIDlet-1: Late, /icon.png, a.A\\r\\n')\n"
        "    z.writestr('z/Z.class', b'\\xca\\xfe\\xba\\xbe' + b'z' * 300)\n";
    WriteBytes(In("icon.png"), TinyPng());
    fs::create_directories(In(""));
    ASSERT_EQ(
        Shell("python3 -c " + Quote(python) + " " + Quote(listed) + " " + Quote(In("icon.png")))
            .status,
        0);

    Run({listed});

    const std::string jar = Projects("LateOne/LateOne.jar");
    const std::string manifest = "MIDlet-Name: LateOne\r\nMIDlet-1: LateOne, icon.png,  a.A\r\n";
    EXPECT_EQ(EntryBytes(jar, "meta-inf/manifest.mf"), manifest);
    EXPECT_EQ(EntryNames(jar), EntryNames(listed));
    EXPECT_TRUE(ArchiveIsSound(jar));
    EXPECT_EQ(ReadBytes(Projects("LateOne/LateOne.jad")),
              manifest + "MIDlet-Jar-Size: " + std::to_string(fs::file_size(jar)) +
                  "\r\nMIDlet-Jar-URL: LateOne.jar\r\n");
    EXPECT_EQ(ReadBytes(Projects("LateOne/icon.png")), TinyPng());
}

// zip marks an entry read-only when its file had no write permission; such a
// manifest comes out read-only and is rewritten all the same.
TEST_F(PrepareOneJar, ManifestStoredReadOnly) {
    const std::string listed = In("locked.jar");
    const std::string staged = In("stage/META-INF/MANIFEST.MF");
    WriteBytes(staged, SimpleManifest("Locked"));
    fs::permissions(staged,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ASSERT_EQ(Shell("cd " + Quote(In("stage")) + " && zip -q -X " + Quote(listed) +
                    " META-INF/MANIFEST.MF")
                  .status,
              0);
    ASSERT_EQ(Shell("python3 -c " +
                    Quote("import sys, zipfile\n"
                          "print(zipfile.ZipFile(sys.argv[1]).infolist()[0].external_attr & 1)") +
                    " " + Quote(listed))
                  .out,
              "1\n");

    Run({listed});

    EXPECT_EQ(output.log,
              (std::vector<std::string>{"Locked.jad generated!", "Locked.ids generated!"}));
    EXPECT_EQ(EntryBytes(Projects("Locked/Locked.jar"), "META-INF/MANIFEST.MF"),
              "Manifest-Version: 1.0\r\nMIDlet-Name: Locked\r\nMIDlet-Vendor: Tests\r\n"
              "MIDlet-1: Locked, icon.png,  t.Main\r\n\r\n");
    EXPECT_TRUE(TempLeftovers().empty());
}

}  // namespace
}  // namespace preptest
