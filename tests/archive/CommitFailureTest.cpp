// A commit that fails: by the answer to the failure question, by a cancel,
// on a read-only archive, or when its new file cannot be made. The archive
// is always either the old one or the new one, byte for byte, and nothing
// is left beside it or in the temporary folder. Committed into a copy, the
// archive is never written and the copy is whole or absent. (Every call
// that changes the disk failing in turn, or killed: CommitSweepTest.cpp.)
#include <gtest/gtest.h>
#include <stdlib.h>

#include "EntrySupport.h"
#include "archive/ZipConst.h"
#include "archive/codec/ZipZlib.h"
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
    // Hidden files beside the archive: new archives not put in place.
    std::vector<std::string> LeftBeside() const { return HiddenFilesIn(scratch.Path()); }

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

// The source file cannot be opened once (the new archive is the first file
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

// An update into a copy abandoned after a failed write (a full disk, every
// write in turn) leaves the component fit for the next archive: its entries
// read back whole, not as empty ones stopped by the old cancel.
TEST_F(CommitFailure, AnAbandonedUpdateDoesNotCutTheNextRead) {
    const auto manifestOf = [&](archive::TZipArchiver& reader) {
        reader.FileName = jar;
        reader.OpenArchive(archive::OpenModeReadOnly);
        const archive::TZipDirArray& entries = reader.DirManager()->Directory;
        std::string bytes;
        for (int i = 0; i < entries.Count(); ++i) {
            if (entries.ItemAt(i).Name == "META-INF/MANIFEST.MF") {
                archive::StringSink sink(bytes, 1 << 20);
                reader.ExtractToStream(i, sink);
            }
        }
        reader.Close();
        return bytes;
    };
    const std::string whole = manifestOf(*OpenArchive(jar, temp));
    ASSERT_FALSE(whole.empty());
    platform::ScriptedDialogs dialogs;
    platform::DialogsGuard guard(dialogs);
    bool failed = true;
    for (int nth = 1; failed; ++nth) {
        SCOPED_TRACE(nth);
        dialogs.answers = {platform::mrAbort, platform::mrAbort};
        fs::remove(copy);
        auto zip = OpenArchive(jar, temp);
        zip->OpenArchive(archive::OpenModeReadOnly);
        zip->CommitCopyName = copy;
        platform::ArmFault(FaultPoint::StreamWrite, nth);
        try {
            zip->UpdateByMask(mask, 10431, "");
        } catch (const std::exception&) {
        }
        failed = platform::FaultCalls(FaultPoint::StreamWrite) >= nth;
        platform::DisarmAllFaults();
        zip->Close();
        EXPECT_EQ(manifestOf(*zip), whole);
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

// The new file is the first the commit makes: when it cannot be made, the
// archive is untouched and the message says why.
TEST_F(CommitFailure, NoNewFileIsLeftWhenItCannotBeMade) {
    auto zip = OpenArchive(jar, temp);
    platform::ArmFault(FaultPoint::StreamOpen, 1, platform::ERROR_ACCESS_DENIED);
    try {
        zip->UpdateByMask(mask, 10431, "");
        ADD_FAILURE() << "no error";
    } catch (const archive::EZipException& e) {
        EXPECT_EQ(e.NativeError, archive::native::UpdateFailed);
        EXPECT_EQ(e.Message(), "Zip: Cannot update \"" + jar +
                                   "\": no new file can be made in its folder: Access is "
                                   "denied. - Native error: 00064");
    }
    zip->Close();
    EXPECT_EQ(ReadBytes(jar), oldBytes);
    EXPECT_TRUE(LeftBeside().empty());
}

// While the commit runs the new archive is a hidden file of mode 0600 beside
// the archive, named after it; afterwards it is the archive, with the
// archive's own mode, and the temporary folder was never used.
TEST_F(CommitFailure, TheNewFileLivesBesideTheArchiveWhileTheCommitRuns) {
    fs::permissions(jar, fs::perms(0640));
    auto zip = OpenArchive(jar, temp);
    std::vector<std::string> seen;
    fs::perms mode{};
    zip->OnFileProgress = [&](archive::TZipBaseArchiver&, const std::string&, double,
                              archive::TZipProcessOperation, archive::TZipProgressPhase, bool&) {
        seen = LeftBeside();
        mode = seen.empty() ? mode : fs::status(scratch / seen[0]).permissions();
    };
    zip->UpdateByMask(mask, 10431, "");
    zip->Close();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].rfind(".m.jar.", 0), 0u) << seen[0];
    EXPECT_EQ(mode, fs::perms(0600));
    EXPECT_TRUE(LeftBeside().empty());
    EXPECT_TRUE(LeftInTmp().empty());
    EXPECT_EQ(ReadBytes(jar), newBytes);
    EXPECT_EQ(fs::status(jar).permissions(), fs::perms(0640));
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

// Two updates at once: the second open finds the archive held and is read
// only, and its update says who holds it, also once the first has renamed
// its new archive over the name. A second name of the file (a hard link)
// would keep the old archive: refused. A symbolic link stays one, and the
// file it names gets the new archive.
TEST_F(CommitFailure, WhatTheRenameMustNotDoIsRefusedOrKept) {
    const std::string inUse =
        "Zip: Another program is using the archive \"" + jar + "\" - Native error: 00063";
    auto first = OpenArchive(jar, temp);
    for (int round = 0; round < 2; ++round) {
        auto second = OpenArchive(jar, temp);
        EXPECT_EQ(second->OpenMode(), archive::OpenModeReadOnly);
        try {
            second->UpdateByMask(mask, 10431, "");
            ADD_FAILURE() << "no error";
        } catch (const archive::EZipException& e) {
            EXPECT_EQ(e.Message(), inUse);
        }
        first->UpdateByMask(mask, 10431, "");
    }
    first->Close();
    EXPECT_EQ(ReadBytes(jar), newBytes);

    WriteBytes(jar, oldBytes);
    fs::create_hard_link(jar, scratch / "other.jar");
    EXPECT_EQ(Update(), archive::native::UpdateFailed);
    EXPECT_EQ(ReadBytes(jar), oldBytes);
    fs::remove(scratch / "other.jar");

    fs::create_symlink(jar, scratch / "link.jar");
    auto zip = OpenArchive(scratch / "link.jar", temp);
    zip->UpdateByMask(mask, 10431, "");
    zip->Close();
    EXPECT_TRUE(fs::is_symlink(scratch / "link.jar"));
    EXPECT_EQ(ReadBytes(jar), newBytes);
    EXPECT_TRUE(LeftBeside().empty());
}

}  // namespace
}  // namespace archive_test
