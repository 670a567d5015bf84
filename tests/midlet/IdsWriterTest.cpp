// The IDS descriptor, written into a real projects folder.
#include <gtest/gtest.h>

#include <string>

#include "midlet/IdsWriter.h"
#include "midlet/RecordingOutput.h"
#include "midlet/ScratchFolder.h"
#include "platform/Dialogs.h"
#include "platform/Faults.h"
#include "platform/Files.h"

namespace midlet {
namespace {

const std::string kFixedTail = "864315860\r\n0\r\nFALSE\r\nTRUE\r\nFALSE\r\nmanufacturer\r\n";
const std::string kLastLines =
    "1\r\nAA,AA,AA,AA,AA,AA,AA,AA,AA,AA,AA,AA,AN,AN,AN,AN,AN,AN,AN,AN\r\n";

class IdsWriter : public ::testing::Test {
  protected:
    IdsWriter() : guard(dialogs) {
        folder.MakeFolder("projects");
        state.cleanedName = "RallyNightStage";
        state.projectName = "RallyNigh";
    }
    void TearDown() override { platform::DisarmAllFaults(); }

    void Write() { WriteIds(options, state, output, folder.Path()); }
    std::string Written() const { return folder.ReadBytes("projects/RallyNigh.ids"); }

    void ExpectFailureReported(const std::string& project = "RallyNigh") {
        ASSERT_EQ(dialogs.questions.size(), 1u);
        const auto& box = dialogs.questions[0];
        EXPECT_EQ(box.kind, platform::ScriptedDialogs::Question::Kind::MessageBox);
        EXPECT_EQ(box.text, "Не удалось создать ids файл! Очистите папку projects!");
        EXPECT_EQ(box.caption, "ids generate error!");
        EXPECT_EQ(box.flags, platform::MB_OK | platform::MB_ICONERROR);
        EXPECT_EQ(output.log, std::vector<std::string>{project + ".ids generation failed!"});
        EXPECT_EQ(state.idsCount, 0);
    }

    ScratchFolder folder;
    platform::ScriptedDialogs dialogs;
    platform::DialogsGuard guard;
    RunOptions options;
    ProgramState state;
    RecordingOutput output;
};

TEST_F(IdsWriter, Application) {
    Write();
    EXPECT_EQ(Written(),
              "QC-AMS-IDS-Version: 0.1\r\nRallyNightStage\r\n"
              "fs:/card0/Applications/RallyNigh/RallyNigh.jad\r\n\r\n"
              "fs:/card0/Applications/RallyNigh/RallyNigh.jar\r\n" +
                  kFixedTail + "Applications\r\nfs:/card0/Applications/RallyNigh\r\n" + kLastLines);
    EXPECT_EQ(output.log, std::vector<std::string>{"RallyNigh.ids generated!"});
    EXPECT_EQ(state.idsCount, 1);
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(IdsWriter, GameWithCardPathWithoutTrailingSlash) {
    options.midletType = MidletType::Game;
    options.gamePath = "fs:/card1/Java";
    options.appPath = "unused/";
    Write();
    EXPECT_EQ(Written(),
              "QC-AMS-IDS-Version: 0.1\r\nRallyNightStage\r\n"
              "fs:/card1/JavaRallyNigh/RallyNigh.jad\r\n\r\n"
              "fs:/card1/JavaRallyNigh/RallyNigh.jar\r\n" +
                  kFixedTail + "Games\r\nfs:/card1/JavaRallyNigh\r\n" + kLastLines);
}

TEST_F(IdsWriter, NoMidletTypeGivesElevenLines) {
    options.midletType = MidletType::None;
    Write();
    EXPECT_EQ(Written(),
              "QC-AMS-IDS-Version: 0.1\r\nRallyNightStage\r\n\r\n" + kFixedTail + kLastLines);
    EXPECT_EQ(IdsLines(options, state).size(), 11u);
    options.midletType = MidletType::Application;
    EXPECT_EQ(IdsLines(options, state).size(), 15u);
}

TEST_F(IdsWriter, AnExistingFileIsReplacedAndCountedAgain) {
    folder.WriteBytes("projects/RallyNigh.ids", std::string(1000, 'x'));
    Write();
    options.midletType = MidletType::None;
    Write();
    EXPECT_EQ(Written(),
              "QC-AMS-IDS-Version: 0.1\r\nRallyNightStage\r\n\r\n" + kFixedTail + kLastLines);
    EXPECT_EQ(output.log,
              (std::vector<std::string>{"RallyNigh.ids generated!", "RallyNigh.ids generated!"}));
    EXPECT_EQ(state.idsCount, 2);
}

TEST_F(IdsWriter, ReadOnlyFileIsReportedAndLeftAlone) {
    folder.WriteBytes("projects/RallyNigh.ids", "old");
    ASSERT_TRUE(platform::SetFileAttributes(folder.Path() + "projects/RallyNigh.ids",
                                            platform::faReadOnly));
    Write();
    ExpectFailureReported();
    EXPECT_EQ(Written(), "old");
}

TEST_F(IdsWriter, MissingProjectsFolderIsReported) {
    state.projectName = "Other";
    WriteIds(options, state, output, folder.Path() + "nowhere/");
    ExpectFailureReported("Other");
}

TEST_F(IdsWriter, FailedWriteIsReported) {
    platform::ArmFault(platform::FaultPoint::TextWrite, 4);
    Write();
    ExpectFailureReported();
}

}  // namespace
}  // namespace midlet
