// The IDS descriptor, written into a real projects folder.
#include <gtest/gtest.h>

#include <filesystem>
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
        folder.MakeFolder("temp");
        state.cleanedName = "RallyNightStage";
        state.projectName = "RallyNigh";
    }
    void TearDown() override { platform::DisarmAllFaults(); }

    bool Write() { return WriteIds(options, state, output, folder.Path(), failure); }
    std::string Written() const { return folder.ReadBytes("projects/RallyNigh.ids"); }

    void ExpectFailureReported(const std::string& project = "RallyNigh") {
        EXPECT_FALSE(failure.empty());
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
    std::string failure;
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

// A failure at any step of the replacement is reported with its reason and
// leaves the old file as it was, and nothing staged in the temp folder.
TEST_F(IdsWriter, FailureLeavesTheOldFileAndSaysWhy) {
    using platform::FaultPoint;
    struct Case {
        const char* what;
        FaultPoint point;  // FaultPoint::Count: no fault
        platform::DWORD code;
        bool readOnly;
        const char* reason;
    };
    const Case cases[] = {
        {"a line", FaultPoint::TextWrite, platform::ERROR_DISK_FULL, false,
         "There is not enough space on the disk."},
        {"the flush", FaultPoint::Flush, platform::ERROR_IO_DEVICE, false,
         "The request could not be performed because of an I/O device error."},
        {"the move", FaultPoint::MoveFile, platform::ERROR_DISK_FULL, false,
         "There is not enough space on the disk."},
        {"a read-only file", FaultPoint::Count, 0, true, "Access is denied."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = folder.Path() + "projects/RallyNigh.ids";
        platform::SetFileAttributes(path, 0);
        folder.WriteBytes("projects/RallyNigh.ids", "old");
        ASSERT_TRUE(platform::SetFileAttributes(path, c.readOnly ? platform::faReadOnly : 0));
        if (c.point != FaultPoint::Count) {
            platform::ArmFault(c.point, c.point == FaultPoint::TextWrite ? 4 : 1, c.code);
        }
        dialogs.questions.clear();
        output.log.clear();
        failure.clear();
        EXPECT_FALSE(Write());
        platform::DisarmAllFaults();
        ExpectFailureReported();
        EXPECT_EQ(failure, c.reason);
        EXPECT_EQ(Written(), "old");
        EXPECT_TRUE(std::filesystem::is_empty(folder.Path() + "temp"));
    }
}

TEST_F(IdsWriter, MissingProjectsFolderIsReported) {
    state.projectName = "Other";
    EXPECT_FALSE(WriteIds(options, state, output, folder.Path() + "nowhere/", failure));
    ExpectFailureReported("Other");
}

}  // namespace
}  // namespace midlet
