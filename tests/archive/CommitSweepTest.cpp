// An update failed, or killed, at every call that changes the disk. It runs
// once to count those calls; then, for each call in turn, the call fails
// (disk full, or an I/O error for a flush), and, in a child process, the
// update stops right before it as a kill would. After each: the archive is
// the old one or the new one byte for byte, a failure was reported exactly
// when it is not the new one, and a later update gives the new archive and
// leaves nothing beside it. A few of the results are read back by unzip and
// python's zipfile as well.
#include <gtest/gtest.h>

#include <filesystem>

#include "EntrySupport.h"
#include "FaultSweep.h"
#include "TestCorpus.h"
#include "archive/ZipConst.h"
#include "platform/Dialogs.h"

namespace archive_test {
namespace {

namespace fs = std::filesystem;

const std::string kNewManifest = "Manifest-Version: 1.0\r\nMIDlet-Name: Rewritten\r\n\r\n";
const char* const kManifestMask = "Meta-inf\\Manifest.mf";

// An archive, the entry refreshed in it with its new bytes, and whether the
// update goes into a copy, as the preparation's does.
struct SweepCase {
    const char* kind;  // a zipinfo.py archive, or a corpus file below QUELLOR_CORPUS_DIR
    const char* mask;
    const char* entry;
    std::string bytes;
    bool intoCopy;
};

void PrintTo(const SweepCase& c, std::ostream* out) {
    *out << c.kind << " " << c.entry << " of " << c.bytes.size() << " bytes"
         << (c.intoCopy ? " into a copy" : "");
}

const SweepCase kCases[] = {
    {"midlet", kManifestMask, "META-INF/MANIFEST.MF", kNewManifest, false},    // longer
    {"midlet", kManifestMask, "META-INF/MANIFEST.MF", "", false},              // shorter
    {"icons", "res\\icon.png", "res/icon.png", NoiseBytes(300, 5), false},     // last record
    {"reversed", kManifestMask, "META-INF/MANIFEST.MF", kNewManifest, false},  // out of order
    {"midlets/vipaoL_j2me_compiler_WTK252/MobileMediaAPI.jar", kManifestMask,
     "META-INF/MANIFEST.MF", NoiseBytes(5000, 11), false},                  // a real MIDlet
    {"midlet", kManifestMask, "META-INF/MANIFEST.MF", kNewManifest, true},  // into a copy
};

// What the sweep found over all its runs; every count but `runs` must stay 0.
struct Tally {
    int runs = 0;
    int neitherOldNorNew = 0;
    int misreported = 0;  // a failure not reported, or one reported for the new archive
    int laterUpdateFailed = 0;
};

class CommitSweep : public ::testing::TestWithParam<SweepCase> {
  protected:
    void SetUp() override {
        const SweepCase& c = GetParam();
        if (fs::path(c.kind).has_parent_path()) {
            QUELLOR_SKIP_WITHOUT_CORPUS();
            fs::copy_file(fs::path(QUELLOR_CORPUS_DIR) / c.kind, jar);
            fs::permissions(jar, fs::perms(0644));
        } else {
            PythonMake(c.kind, jar);
        }
        WriteTree(temp, {{c.entry, c.bytes}});
        fs::last_write_time(temp + "/" + c.entry, fs::last_write_time(jar));
        oldBytes = ReadBytes(jar);
        ASSERT_TRUE(Update().empty());
        newBytes = ReadBytes(c.intoCopy ? copy : jar);
        ASSERT_NE(newBytes, oldBytes);
        Restore();
    }

    // The archive as it was, no copy.
    void Restore() {
        WriteBytes(jar, oldBytes);
        fs::remove(copy);
    }

    // Updates as the program does; the message of what left it, empty when
    // nothing did.
    std::string Update() {
        const SweepCase& c = GetParam();
        auto zip = OpenArchive(jar, temp);
        if (c.intoCopy) {
            zip->CommitCopyName = copy;
        }
        std::string failure;
        try {
            zip->UpdateByMask(c.mask, 10431, "");
        } catch (const std::exception& e) {
            failure = e.what();
        }
        zip->Close();
        return failure;
    }

    // The file the update makes: the archive itself or its copy.
    std::string Result() const {
        if (GetParam().intoCopy) {
            EXPECT_EQ(ReadBytes(jar), oldBytes);
            return fs::exists(copy) ? ReadBytes(copy) : oldBytes;
        }
        return ReadBytes(jar);
    }

    std::vector<std::string> LeftBeside() const { return HiddenFilesIn(scratch.Path()); }

    // Judges the state after call `nth` failed (with `failure` reported) or
    // was stopped; then a later update must finish the work.
    void Judge(int nth, bool stopped, const std::string& failure) {
        SCOPED_TRACE(testing::Message()
                     << (stopped ? "stopped" : "failed") << " at call " << nth << ": " << failure);
        ++tally.runs;
        const std::string result = Result();
        const bool isNew = result == newBytes;
        tally.neitherOldNorNew += !isNew && result != oldBytes;
        // The folder flush, the last call, fails after the new archive is in
        // place: the update says it may not be on the disk yet.
        const bool lastFlush = !stopped && nth == calls && isNew &&
                               failure.find("may not be on the disk yet") != std::string::npos;
        if (!stopped) {
            tally.misreported += !lastFlush && (failure.empty() == !isNew);
        }
        if (nth == calls / 2 || nth == calls) {
            ReadBackByPeers(GetParam().intoCopy && isNew ? copy : jar);
        }
        if (GetParam().intoCopy) {
            fs::remove(copy);
        }
        const std::string later = Update();
        tally.laterUpdateFailed += !later.empty() || Result() != newBytes || !LeftBeside().empty();
        EXPECT_EQ(later, "");
        EXPECT_EQ(LeftBeside(), std::vector<std::string>{});
    }

    void ReadBackByPeers(const std::string& archive) {
        EXPECT_EQ(Shell("unzip -tq " + Quote(archive) + " >/dev/null").status, 0);
        EXPECT_EQ(PythonListing(archive).status, 0);
    }

    ScratchFolder scratch;
    const std::string jar = scratch / "m.jar";
    const std::string copy = scratch / "copy.jar";
    const std::string temp = scratch / "temp";
    std::string oldBytes;
    std::string newBytes;
    int calls = 0;
    Tally tally;
};

TEST_P(CommitSweep, EveryCallFailedOrKilledLeavesTheOldOrTheNewArchive) {
    // A source that cannot be opened asks; the answer is Abort.
    platform::ScriptedDialogs dialogs;
    platform::DialogsGuard guard(dialogs);
    calls = CountModifyingCalls([&] { EXPECT_EQ(Update(), ""); });
    ASSERT_GT(calls, 3);
    for (int nth = 1; nth <= calls; ++nth) {
        Restore();
        const std::string failure = RunFailingAt(nth, [&] { return Update(); });
        Judge(nth, false, failure);

        Restore();
        const int status = RunStoppedAt(nth, [&] {
            Update();
            return 0;
        });
        EXPECT_EQ(status, platform::kSweepStopStatus);
        Judge(nth, true, "");
    }
    EXPECT_EQ(tally.runs, 2 * calls);
    EXPECT_EQ(tally.neitherOldNorNew, 0);
    EXPECT_EQ(tally.misreported, 0);
    EXPECT_EQ(tally.laterUpdateFailed, 0);
    std::printf("sweep %s: %d calls, %d runs, %d neither old nor new, %d misreported\n",
                GetParam().kind, calls, tally.runs, tally.neitherOldNorNew, tally.misreported);
}

INSTANTIATE_TEST_SUITE_P(Archives, CommitSweep, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace archive_test
