// The project name each MIDlet suite gets, and the workspace's record of
// which suite made each project. A project's name is the first 9 bytes of
// its suite's cleaned name; when a different suite holds that name already,
// the suite gets the first free name cut shorter with a number
// ("SunSampl2" ... "SunSamp10" ...), so that no suite is lost behind another
// and no IDS file is written over another suite's. A suite whose own
// project is found is "already generated", or made again over it when the
// run is forced.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace midlet {

class StagedProject;

// What tells one suite from another: its name, vendor and version as the
// listed JAR's manifest states them (before the name is cleaned), and the
// listed JAR's bytes. The cleaned name is what the project's JAD states.
struct SuiteIdentity {
    std::string name;
    std::string vendor;
    std::string version;
    std::string sha256;  // of the listed JAR, lower-case hexadecimal
    std::string cleanedName;
};

// The identity of the listed JAR `listedJar`, whose manifest is `manifest`
// and whose cleaned name is `cleanedName`. Reads the JAR's bytes for their
// digest; raises when they cannot be read.
SuiteIdentity SuiteIdentityOf(std::string_view manifest, const std::string& cleanedName,
                              const std::string& listedJar);

// The same suite: the same name, vendor and version, or the same bytes.
bool SameSuite(const SuiteIdentity& a, const SuiteIdentity& b);

// The folder of the temp folder that holds one record per project.
inline constexpr const char* kSuiteRecordsFolder = ".suites";

// What a suite is to do with its project name.
enum class ClaimKind {
    MakeNew,           // the name is free: make the project
    AlreadyGenerated,  // the name holds this suite's project: leave it as it is
    MakeAgain,         // forced: make the project again over this suite's
};

struct ProjectClaim {
    std::string name;
    ClaimKind kind = ClaimKind::MakeNew;
};

// The names of one run. Claims are remembered for the run, so that two
// listed JARs of one suite make one project and two suites of one name two.
// Safe to use from several threads.
class ProjectNames {
  public:
    // The workspace at `programFolder` (with its trailing delimiter).
    // `force`: a suite whose project is found makes it again over it, once
    // a run.
    ProjectNames(std::string programFolder, bool force);

    // The name for the suite, walking the candidates in order: a name held
    // by another suite (its project, its IDS file, or a claim of this run)
    // is passed over; the first that holds this suite's project, or is
    // free, is the answer. An empty cleaned name claims the empty name,
    // which no project can have.
    ProjectClaim Claim(const SuiteIdentity& suite);

    // The claimed project was not made after all: later JARs of the run may
    // take the name.
    void Release(const ProjectClaim& claim);

    // Records which suite makes the claimed project, right before the
    // project is moved in (so that the flush before the move takes the
    // record to the disk too). A record is only ever read beside a whole
    // project: one whose project never came is no one's, and the next
    // project under the name writes its own over it.
    void RecordClaim(const ProjectClaim& claim, const SuiteIdentity& suite);

  private:
    enum class Holder { Nobody, ThisSuite, OtherSuite };
    Holder HolderOf(const std::string& name, const SuiteIdentity& suite) const;
    Holder HolderOfProject(const std::string& name, const SuiteIdentity& suite) const;
    Holder HolderOfIds(const std::string& name, const SuiteIdentity& suite) const;
    const SuiteIdentity* ClaimedSuite(const std::string& name) const;
    std::string RecordPath(const std::string& name) const;
    void WriteRecord(const std::string& name, const SuiteIdentity& suite);

    std::string programFolder_;
    std::string projectsFolder_;
    std::string tempFolder_;
    std::string recordsFolder_;
    bool force_;
    mutable std::mutex mutex_;
    // The suites that claimed names this run, by the names' folded form.
    std::unordered_map<std::string, SuiteIdentity> claims_;
    bool recordsFolderMade_ = false;
};

// The `n`th candidate name of a suite whose project name is `base`: the
// name itself for 1, else the name cut to leave room for the number and
// the number. Empty when the number leaves no room.
std::string CandidateName(const std::string& base, std::size_t n);

}  // namespace midlet
