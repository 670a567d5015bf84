// A commit that fails: by the answer to the failure question, by a write,
// truncation or open that fails at any point, or on a read-only archive.
// The archive is always either the old one or the new one, byte for byte,
// and no tail copy is left in the temporary folder. Committed into a copy,
// the archive is never written and the copy is whole or absent. The
// failures at every write run over archives whose records after the
// refreshed entry move up, move down or are none, and over one whose
// records are out of order.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "EntrySupport.h"
#include "archive/ZipConst.h"
#include "platform/Dialogs.h"
#include "platform/Faults.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace archive_test {
namespace {

namespace fs = std::filesystem;
using platform::FaultPoint;

const std::string kNewManifest = "Manifest-Version: 1.0\r\nMIDlet-Name: Rewritten\r\n\r\n";
const char* const kManifestMask = "Meta-inf\\Manifest.mf";

// An archive of zipinfo.py and the entry refreshed in it, with its new bytes.
struct Shape {
    const char* kind;
    const char* mask;
    const char* entry;
    std::string bytes;
};

const Shape kShapes[] = {
    {"midlet", kManifestMask, "META-INF/MANIFEST.MF", kNewManifest},          // a little longer
    {"midlet", kManifestMask, "META-INF/MANIFEST.MF", NoiseBytes(5000, 11)},  // past the rest
    {"midlet", kManifestMask, "META-INF/MANIFEST.MF", ""},                    // shorter
    {"icons", "res\\icon.png", "res/icon.png", NoiseBytes(300, 5)},           // the last record
    {"reversed", kManifestMask, "META-INF/MANIFEST.MF", kNewManifest},  // records out of order
};

// A JAR with entries before and after its manifest, the rewritten manifest
// in a temp folder, and TMPDIR pointing into the scratch folder.
class CommitFailure : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        oldTmp_ = old ? old : "";
        hadTmp_ = old != nullptr;
        fs::create_directories(tmp);
        setenv("TMPDIR", tmp.c_str(), 1);
        Prepare(kShapes[0]);
    }

    void Prepare(const Shape& shape) {
        mask = shape.mask;
        fs::remove_all(temp);
        fs::remove(jar);
        PythonMake(shape.kind, jar);
        WriteTree(temp, {{shape.entry, shape.bytes}});
        oldBytes = ReadBytes(jar);
        // The same refresh, undisturbed, on a copy: what a commit that
        // worked leaves.
        const std::string reference = scratch / "reference.jar";
        fs::remove(reference);
        fs::copy_file(jar, reference);
        UpdateAll(reference, mask, temp);
        newBytes = ReadBytes(reference);
        ASSERT_NE(newBytes, oldBytes);
    }
    void TearDown() override {
        platform::DisarmAllFaults();
        if (hadTmp_) {
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }

    // Runs UpdateByMask as the program does, with `fault` armed once the
    // archive is open; the native error of an EZipException that left it,
    // -1 for another exception, 0 for none.
    int Update(FaultPoint fault = FaultPoint::Count, int nth = 0) {
        auto zip = OpenArchive(jar, temp);
        if (fault != FaultPoint::Count) {
            platform::ArmFault(fault, nth);
        }
        int result = 0;
        try {
            zip->UpdateByMask(mask, 10431, "");
        } catch (const archive::EZipException& e) {
            result = e.NativeError;
        } catch (const std::exception&) {
            result = -1;
        }
        zip->Close();
        return result;
    }

    // Runs the refresh with each write, copy and truncation failing in turn.
    // A commit that leaves the archive at least as long as it was truncates
    // nothing; the truncations that failed and were undone are counted over
    // all shapes.
    void FailEveryWriteAndTruncation();
    int truncationsUndone = 0;
    // The same, committed into a copy of the archive opened read-only.
    void FailEveryWriteIntoACopy();

    // Refreshes into `copy`, with `fault` armed for its nth call; whether it
    // raised, and the file the archiver worked on after it.
    std::pair<bool, std::string> UpdateIntoCopy(FaultPoint fault = FaultPoint::Count, int nth = 0) {
        auto zip = OpenArchive(jar, temp);
        zip->OpenArchive(archive::OpenModeReadOnly);
        zip->CommitCopyName = copy;
        if (fault != FaultPoint::Count) {
            platform::ArmFault(fault, nth);
        }
        bool raised = false;
        try {
            zip->UpdateByMask(mask, 10431, "");
        } catch (const std::exception&) {
            raised = true;
        }
        platform::DisarmAllFaults();
        const std::string workedOn = zip->FileName;
        zip->Close();
        return {raised, workedOn};
    }

    std::vector<std::string> LeftInTmp() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(tmp)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    ScratchFolder scratch;
    const std::string tmp = scratch / "tmp";
    const std::string jar = scratch / "m.jar";
    const std::string copy = scratch / "copy.jar";
    const std::string temp = scratch / "temp";
    std::string mask;
    std::string oldBytes;
    std::string newBytes;

  private:
    std::string oldTmp_;
    bool hadTmp_ = false;
};

// The source file cannot be opened once (the tail copy is the first file
// the commit opens, the source the second): the answer decides. An abort
// undoes the commit and reports the failure that led to it.
TEST_F(CommitFailure, AnswersToAnUnopenableSource) {
    struct Case {
        int answer;
        const std::string* expected;
        int raised;
    };
    for (const Case& c :
         {Case{platform::mrAbort, &oldBytes, archive::native::CannotOpenSource},
          Case{platform::mrIgnore, &oldBytes, 0}, Case{platform::mrRetry, &newBytes, 0}}) {
        SCOPED_TRACE(c.answer);
        WriteBytes(jar, oldBytes);
        platform::ScriptedDialogs dialogs;
        dialogs.answers = {c.answer};
        platform::DialogsGuard guard(dialogs);
        EXPECT_EQ(Update(FaultPoint::StreamOpen, 2), c.raised);
        ASSERT_EQ(dialogs.questions.size(), 1u);
        EXPECT_EQ(dialogs.questions[0].text,
                  "Zip: Cannot open file \"" + platform::NormalizeSeparators(temp) +
                      "/META-INF/MANIFEST.MF\" - Native error: 00033. File processing error, "
                      "possibly disk is full");
        EXPECT_TRUE(ReadBytes(jar) == *c.expected);
        EXPECT_TRUE(LeftInTmp().empty());
    }
}

// Every write, copy and truncation of the commit, in place and into a copy,
// failing in turn; a write of entry data that fails asks the disk-full
// handler, whose default gives up.
TEST_F(CommitFailure, AFailedWriteOrTruncationLeavesTheOldOrTheNewArchive) {
    platform::ScriptedDialogs dialogs;  // a failure question would abort
    platform::DialogsGuard guard(dialogs);
    for (const Shape& shape : kShapes) {
        SCOPED_TRACE(testing::Message() << shape.kind << " " << shape.entry << " of "
                                        << shape.bytes.size() << " bytes");
        Prepare(shape);
        FailEveryWriteAndTruncation();
        FailEveryWriteIntoACopy();
    }
    EXPECT_GT(truncationsUndone, 0);
    EXPECT_TRUE(dialogs.questions.empty());
}

void CommitFailure::FailEveryWriteAndTruncation() {
    int writeErrors = 0;
    for (FaultPoint point : {FaultPoint::StreamWrite, FaultPoint::StreamTruncate}) {
        int rolledBack = 0;
        for (int n = 1;; ++n) {
            SCOPED_TRACE(testing::Message()
                         << "point " << static_cast<int>(point) << " call " << n);
            WriteBytes(jar, oldBytes);
            auto zip = OpenArchive(jar, temp);
            platform::ArmFault(point, n);
            bool raised = false;
            try {
                zip->UpdateByMask(mask, 10431, "");
            } catch (const archive::EZipException& e) {
                raised = true;
                writeErrors += e.NativeError == archive::native::StreamWrite ? 1 : 0;
            } catch (const std::exception&) {
                raised = true;
            }
            const bool fired = platform::FaultCalls(point) >= n;
            platform::DisarmAllFaults();
            zip->Close();
            const std::string bytes = ReadBytes(jar);
            EXPECT_TRUE(bytes == oldBytes || bytes == newBytes);
            // A commit undone is never reported as done (a full disk too).
            EXPECT_TRUE(bytes == newBytes || raised);
            EXPECT_TRUE(LeftInTmp().empty());
            rolledBack += bytes == oldBytes ? 1 : 0;
            if (!fired) {
                EXPECT_EQ(bytes, newBytes);
                break;
            }
            ASSERT_LT(n, 100);
        }
        if (point == FaultPoint::StreamWrite) {
            EXPECT_GT(rolledBack, 0);
        } else {
            truncationsUndone += rolledBack;
        }
    }
    EXPECT_GT(writeErrors, 0);
}

// Into a copy: the archive is never written, and the copy is whole or absent.
// A copy is written from its start to its end, so no truncation may be
// needed at all.
void CommitFailure::FailEveryWriteIntoACopy() {
    WriteBytes(jar, oldBytes);
    for (FaultPoint point : {FaultPoint::StreamWrite, FaultPoint::StreamTruncate}) {
        int failed = 0;
        for (int n = 1;; ++n) {
            SCOPED_TRACE(testing::Message()
                         << "point " << static_cast<int>(point) << " call " << n);
            fs::remove(copy);
            const auto [raised, workedOn] = UpdateIntoCopy(point, n);
            EXPECT_EQ(ReadBytes(jar), oldBytes);
            EXPECT_TRUE(LeftInTmp().empty());
            if (raised) {
                ++failed;
                EXPECT_FALSE(fs::exists(copy));
                EXPECT_EQ(workedOn, jar);
                ASSERT_LT(n, 100);
                continue;
            }
            EXPECT_EQ(workedOn, copy);
            EXPECT_TRUE(ReadBytes(copy) == newBytes);
            break;
        }
        EXPECT_TRUE(failed > 0 || point == FaultPoint::StreamTruncate);
    }
}

// A copy that exists is refused and kept; a cancel leaves no copy; an
// abandoned transaction forgets the copy it was to go into; a read-only
// archive may be committed into a copy.
TEST_F(CommitFailure, IntoACopyRefusesAnExistingFileAndKeepsNothingOnCancel) {
    WriteBytes(copy, "mine");
    EXPECT_EQ(UpdateIntoCopy(), std::make_pair(true, jar));
    EXPECT_EQ(ReadBytes(copy), "mine");
    fs::remove(copy);

    auto zip = OpenArchive(jar, temp);
    zip->CommitCopyName = copy;
    zip->OnFileProgress = [&](archive::TZipBaseArchiver&, const std::string&, double,
                              archive::TZipProcessOperation, archive::TZipProgressPhase phase,
                              bool& cancel) { cancel = phase == archive::ppProcess; };
    zip->UpdateByMask(mask, 10431, "");
    EXPECT_TRUE(zip->Cancelled());
    EXPECT_EQ(zip->FileName, jar);
    zip->Close();
    EXPECT_FALSE(fs::exists(copy));

    zip = OpenArchive(jar, temp);
    zip->CommitCopyName = copy;
    zip->BeginTransaction();
    zip->AbandonTransaction();
    zip->UpdateByMask(mask, 10431, "");
    zip->Close();
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_TRUE(ReadBytes(jar) == newBytes);
    WriteBytes(jar, oldBytes);

    ASSERT_TRUE(platform::SetFileAttributes(jar, platform::faReadOnly));
    EXPECT_EQ(UpdateIntoCopy(), std::make_pair(false, copy));
    EXPECT_EQ(ReadBytes(jar), oldBytes);
    EXPECT_TRUE(ReadBytes(copy) == newBytes);
}

TEST_F(CommitFailure, NoTailCopyIsLeftWhenItCannotBeMade) {
    // Its file is made but cannot be opened.
    EXPECT_EQ(Update(FaultPoint::StreamOpen, 1), -1);
    EXPECT_EQ(ReadBytes(jar), oldBytes);
    EXPECT_TRUE(LeftInTmp().empty());
    // Its folder does not exist.
    platform::DisarmAllFaults();
    auto zip = OpenArchive(jar, temp);
    zip->TempDir = scratch / "no-such-folder";
    EXPECT_THROW(zip->UpdateByMask("Meta-inf\\Manifest.mf", 10431, ""), platform::EFCreateError);
    zip->Close();
    EXPECT_EQ(ReadBytes(jar), oldBytes);
}

TEST_F(CommitFailure, TheTailCopyLivesInTheTemporaryFolderWhileTheCommitRuns) {
    auto zip = OpenArchive(jar, temp);
    std::vector<std::string> seen;
    zip->OnFileProgress = [&](archive::TZipBaseArchiver&, const std::string&, double,
                              archive::TZipProcessOperation, archive::TZipProgressPhase,
                              bool&) { seen = LeftInTmp(); };
    zip->UpdateByMask("Meta-inf\\Manifest.mf", 10431, "");
    zip->Close();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].substr(0, 2), "FC");
    EXPECT_EQ(seen[0].substr(6), ".tmp");
    EXPECT_TRUE(LeftInTmp().empty());
    EXPECT_EQ(ReadBytes(jar), newBytes);
}

TEST_F(CommitFailure, AReadOnlyArchiveIsRefusedUnchanged) {
    ASSERT_TRUE(platform::SetFileAttributes(jar, platform::faReadOnly));
    EXPECT_EQ(Update(), archive::native::ReadOnlyArchive);
    EXPECT_EQ(ReadBytes(jar), oldBytes);
}

TEST_F(CommitFailure, ACancelledCommitIsRolledBackAndReturnsNormally) {
    auto zip = OpenArchive(jar, temp);
    zip->OnFileProgress = [&](archive::TZipBaseArchiver&, const std::string&, double,
                              archive::TZipProcessOperation, archive::TZipProgressPhase phase,
                              bool& cancel) { cancel = phase == archive::ppProcess; };
    zip->UpdateByMask("Meta-inf\\Manifest.mf", 10431, "");
    EXPECT_TRUE(zip->Cancelled());
    zip->Close();
    EXPECT_EQ(ReadBytes(jar), oldBytes);
    EXPECT_TRUE(LeftInTmp().empty());
}

}  // namespace
}  // namespace archive_test
