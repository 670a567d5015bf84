// The text passes over real manifest files, read and written line by line
// through the platform's text files, as the preparation streams them.
#include <gtest/gtest.h>

#include <string>

#include "midlet/ManifestText.h"
#include "midlet/ScratchFolder.h"
#include "platform/TextFile.h"

namespace midlet {
namespace {

class ManifestFile : public ::testing::Test {
  protected:
    // Name pass from Manifest.mf to pass1.mf, then descriptor pass to
    // pass2.mf; gives the bytes of pass2.mf.
    std::string RunPasses(const std::string& manifestBytes, JadKind jadKind) {
        folder.WriteBytes("Manifest.mf", manifestBytes);
        {
            platform::TextFile in, out;
            in.Reset(folder.Path() + "Manifest.mf");
            out.Rewrite(folder.Path() + "pass1.mf");
            while (!in.Eof()) {
                out.WriteLn(NamePassLine(in.ReadLn(), state));
            }
            in.Close();
            out.Close();
        }
        iconPath.clear();
        platform::TextFile in, out;
        in.Reset(folder.Path() + "pass1.mf");
        out.Rewrite(folder.Path() + "pass2.mf");
        while (!in.Eof()) {
            if (auto line = DescriptorPassLine(in.ReadLn(), jadKind, state.cleanedName, iconPath)) {
                out.WriteLn(*line);
            }
        }
        in.Close();
        out.Close();
        return folder.ReadBytes("pass2.mf");
    }

    ScratchFolder folder;
    ProgramState state;
    std::string iconPath;
};

const std::string kInfoLine = std::string("MIDlet-Info-URL: ") + kInfoAddress + "\r\n";

TEST_F(ManifestFile, SpaceRaceManifestByteForByteInBothKinds) {
    const std::string manifest =
        "Manifest-Version: 1.0\r\n"
        "MIDlet-Name: Space Race Deluxe Edition\r\n"
        "MIDlet-1: Space Race, /icon.png, com.x.Main\r\n"
        "MIDlet-Info-URL: http://old.example.org/\r\n"
        "MIDlet-Vendor: Somebody\r\n";
    EXPECT_EQ(RunPasses(manifest, JadKind::Full),
              "Manifest-Version: 1.0\r\n"
              "MIDlet-Name: SpaceRaceDeluxe\r\n"
              "MIDlet-1: SpaceRaceDeluxe, icon.png,  com.x.Main\r\n" +
                  kInfoLine + "MIDlet-Vendor: Somebody\r\n");
    EXPECT_EQ(iconPath, "icon.png");

    EXPECT_EQ(RunPasses(manifest, JadKind::Simple),
              "MIDlet-1: SpaceRaceDeluxe, icon.png,  com.x.Main\r\n");
}

TEST_F(ManifestFile, LineEndsBecomeCrLf) {
    // LF only, a lone CR inside a line, and a last line without a line end.
    const std::string manifest =
        "Manifest-Version: 1.0\n"
        "MIDlet-Name: Ra\rlly\n"
        "\n"
        " continued\r\n"
        "MIDlet-1: R, /r.png, r.R";
    EXPECT_EQ(RunPasses(manifest, JadKind::Full),
              "Manifest-Version: 1.0\r\n"
              "MIDlet-Name: Rally\r\n"
              "\r\n"
              " continued\r\n"
              "MIDlet-1: Rally, r.png,  r.R\r\n");
}

TEST_F(ManifestFile, CtrlZEndsALineOrTheText) {
    const std::string manifest =
        "MIDlet-Name: Chess\x1A Deluxe\r\n"
        "MIDlet-1: Chess, /c.png, C\r\n"
        "\x1AMIDlet-Vendor: never read\r\n";
    EXPECT_EQ(RunPasses(manifest, JadKind::Full),
              "MIDlet-Name: Chess\r\n"
              "MIDlet-1: Chess, c.png,  C\r\n");
}

TEST_F(ManifestFile, SimpleKindWithoutMidlet1WritesAnEmptyFile) {
    state.cleanedName = "Earlier";
    EXPECT_EQ(RunPasses("Manifest-Version: 1.0\r\nMIDlet-Vendor: V\r\n", JadKind::Simple), "");
    EXPECT_EQ(state.cleanedName, "Earlier");
    EXPECT_EQ(iconPath, "");
}

}  // namespace
}  // namespace midlet
