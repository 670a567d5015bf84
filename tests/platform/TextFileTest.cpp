#include "platform/TextFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "FolderTest.h"
#include "TestFiles.h"
#include "platform/Faults.h"
#include "platform/Files.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

class TextFiles : public FolderTest {};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(TextFiles, ReadingRules) {
    struct Case {
        const char* name;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"CR LF", "one\r\ntwo\r\n", {"one", "two"}},
        {"LF", "one\ntwo\n", {"one", "two"}},
        {"no final line end", "one\ntwo", {"one", "two"}},
        {"lone CR dropped", "o\rne\r\r\ntwo\r", {"one", "two"}},
        {"empty lines", "\n\r\n", {"", ""}},
        {"empty file", "", {}},
        {"Ctrl-Z at a line start ends the text", "one\n\x1Atwo\nthree\n", {"one"}},
        {"Ctrl-Z at the very start", "\x1Aone\n", {}},
        {"Ctrl-Z inside a line ends that line", "on\x1Az\r\ntwo\n", {"on", "two"}},
        {"Ctrl-Z inside the last line", "one\ntw\x1Ao", {"one", "tw"}},
    };
    for (const Case& c : cases) {
        WriteBytes(folder / "t.txt", c.bytes);
        EXPECT_EQ(ReadAllLines(folder / "T.TXT"), c.lines) << c.name;
        EXPECT_EQ(SplitTextLines(c.bytes), c.lines) << c.name;
    }
}

// Text taken apart in memory reads as the same text from a file would, and
// lines put together are what WriteLn writes.
TEST_F(TextFiles, LinesInMemoryMatchTheFile) {
    std::mt19937 random(25);
    const char alphabet[] = {'a', 'b', '\r', '\n', '\x1A', ' '};
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        for (std::size_t i = random() % 24; i > 0; --i) {
            bytes += alphabet[random() % sizeof alphabet];
        }
        WriteBytes(folder / "t.txt", bytes);
        const Lines lines = ReadAllLines(folder / "t.txt");
        ASSERT_EQ(SplitTextLines(bytes), lines) << ::testing::PrintToString(bytes);
        TextFile out;
        out.Rewrite(folder / "u.txt");
        for (const std::string& line : lines) {
            out.WriteLn(line);
        }
        out.Close();
        ASSERT_EQ(JoinTextLines(lines), ReadBytes(folder / "u.txt"));
    }
}

TEST_F(TextFiles, ReadLnAtTheEndGivesEmptyLines) {
    WriteBytes(folder / "t.txt", "only");
    TextFile file;
    file.Reset(folder / "t.txt");
    EXPECT_FALSE(file.Eof());
    EXPECT_EQ(file.ReadLn(), "only");
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.ReadLn(), "");
    file.Close();
}

TEST_F(TextFiles, WritingEndsEveryLineWithCrLf) {
    TextFile file;
    file.Rewrite(folder / "out.txt");
    file.WriteLn("MIDlet-Name: Race");
    file.Write("MIDlet-");
    file.WriteLn("Version: 1.0");
    file.WriteLn("");
    file.Close();
    EXPECT_EQ(ReadBytes(folder / "out.txt"), "MIDlet-Name: Race\r\nMIDlet-Version: 1.0\r\n\r\n");

    file.Rewrite(folder / "OUT.txt");  // replaces the old file
    file.WriteLn("new");
    file.Close();
    EXPECT_EQ(ReadBytes(folder / "out.txt"), "new\r\n");
}

TEST_F(TextFiles, AppendGoesPastAnOldCtrlZ) {
    WriteBytes(folder / "log.txt", "first\r\n\x1A");
    TextFile file;
    file.Append(folder / "log.txt");
    file.WriteLn("second");
    file.Close();
    EXPECT_EQ(ReadAllLines(folder / "log.txt"), (Lines{"first", "second"}));
    // Only the first Ctrl-Z of the last 128 bytes cuts the file.
    const std::string far(200, 'a');
    const struct {
        std::string before, after;
    } cases[] = {
        {"", "x\r\n"},
        {"\x1A", "x\r\n"},
        {"ab\x1A"
         "cd\x1A",
         "abx\r\n"},
        {"\x1A" + far, "\x1A" + far + "x\r\n"},
        {far + "\x1A" + far.substr(0, 127), far + "x\r\n"},
        {far + "\x1A" + far.substr(0, 128), far + "\x1A" + far.substr(0, 128) + "x\r\n"},
    };
    for (const auto& [before, after] : cases) {
        WriteBytes(folder / "tail.txt", before);
        file.Append(folder / "tail.txt");
        file.WriteLn("x");
        file.Close();
        EXPECT_EQ(ReadBytes(folder / "tail.txt"), after) << before.size();
    }
}

// Written over in place, a file ends as a rewrite leaves it, shorter or
// longer than it was; one that is not there is not made.
TEST_F(TextFiles, OverwriteEndsTheFileWhereTheWritingEnds) {
    TextFile file;
    for (const std::string& text :
         {std::string(5000, 'o'), std::string("short"), std::string(9000, 'l'), std::string()}) {
        WriteBytes(folder / "jad.txt", std::string(6000, 'x'));
        file.Overwrite(folder / "JAD.txt");
        file.Write(text);
        file.Close();
        EXPECT_EQ(ReadBytes(folder / "jad.txt"), text);
    }
    EXPECT_THROW(file.Overwrite(folder / "missing.txt"), EInOutError);
    EXPECT_FALSE(fs::exists(folder / "missing.txt"));
}

TEST_F(TextFiles, AMebibyteLineRoundTrips) {
    std::string line(1 << 20, 'm');
    line[12345] = '\r';  // a lone CR inside, dropped on reading
    TextFile file;
    file.Rewrite(folder / "long.txt");
    file.WriteLn(line);
    file.WriteLn("after");
    file.Close();
    line.erase(12345, 1);
    EXPECT_EQ(ReadAllLines(folder / "long.txt"), (Lines{line, "after"}));
}

TEST_F(TextFiles, FailuresRaiseTheRuntimesCodes) {
    auto raised = [](auto call) -> std::string {
        try {
            call();
        } catch (const EInOutError& e) {
            return std::to_string(e.ErrorCode) + " " + e.what();
        }
        return "none";
    };
    TextFile file;
    EXPECT_EQ(raised([&] { file.Reset(folder / "missing.txt"); }), "2 File not found");
    EXPECT_EQ(raised([&] { file.Rewrite(folder / "no/new.txt"); }), "3 Invalid filename");
    EXPECT_EQ(raised([&] { file.Append(folder / "missing.txt"); }), "2 File not found");
    WriteBytes(folder / "ro.txt", "x");
    SetFileAttributes(folder / "ro.txt", faReadOnly);
    EXPECT_EQ(raised([&] { file.Rewrite(folder / "ro.txt"); }), "5 File access denied");

    file.Rewrite(folder / "full.txt");
    ArmFault(FaultPoint::TextWrite, 2, ERROR_DISK_FULL);
    file.WriteLn("one");
    EXPECT_EQ(raised([&] { file.WriteLn("two"); }), "101 Disk full");
    file.Close();
    EXPECT_EQ(ReadBytes(folder / "full.txt"), "one\r\n");
}

TEST_F(TextFiles, ARealFullDiskIs101) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    TextFile file;
    file.Rewrite("/dev/full");
    try {
        file.WriteLn("line");
        FAIL() << "wrote to a full disk";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, RUNTIME_DISK_FULL);
    }
}
