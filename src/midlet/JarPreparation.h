// One listed JAR's way through a run, in the steps the run takes it in.
// Each step keeps what failed instead of raising, and after a failure the
// steps that make something do nothing. What the JAR says to the run's
// output, and what it changes of the program-wide values, is kept until
// the JAR is told, so that a run that prepares several JARs at once tells
// them in listed order, as a run that takes them one by one does.
#pragma once

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "midlet/Batch.h"
#include "midlet/ProjectNames.h"
#include "midlet/StagedProject.h"
#include "midlet/Staging.h"
#include "platform/Paths.h"

namespace archive {
class TZipArchiver;
}

namespace midlet {

class ProjectCommitter;

// A name as the file system compares it: without the trailing blanks and
// dots it drops, and in one letter case.
std::string FoldedName(const std::string& name);

class JarPreparation {
  public:
    // The JAR's work is done in `workFolder`, which the JAR leaves as it
    // found it or discards.
    JarPreparation(const RunContext& run, std::size_t index, const std::string& tempFolder,
                   WorkFolder& workFolder);
    ~JarPreparation();
    JarPreparation(const JarPreparation&) = delete;
    JarPreparation& operator=(const JarPreparation&) = delete;

    // The working JAR of an earlier run, or of a JAR listed earlier and
    // found already generated, is in the temp folder: the JAR is skipped.
    void CheckSkipped();
    // Reads the listed JAR and makes its working JAR, with the manifest
    // rewritten, in a staging folder of its own; tells its suite.
    void MakeWorkingJar(archive::TZipArchiver& zip);
    // The project the suite would make: before the decision the name its
    // cleaned name gives, after it the name it was given; empty when the
    // JAR is skipped or has failed.
    std::string ProjectName() const;
    // Claims the suite's project name from `names` and decides whether
    // the project is made (anew or again) or was made before. What it
    // finds is what a run that took the JARs one by one would find: every
    // JAR listed before is decided, and none that had the same project is
    // unfinished.
    void ChooseProject(ProjectNames& names);
    // Whether a new project is to be made.
    bool Makes() const { return choice_ == Choice::Make; }
    // Builds the project in a staging folder, its IDS file too.
    void StageProject(archive::TZipArchiver& zip);
    // What stays of the JAR: its project committed (with others at the
    // same moment), or its working JAR kept in the temp folder; its IDS
    // file; the front end's inspection; the record of which suite made the
    // project. A failed JAR's leftovers go, and the name it claimed for a
    // project it did not make is free again.
    void Finish(ProjectCommitter& committer, ProjectNames& names);
    // Finish in three calls, for a JAR whose project goes in with others'
    // (on another thread than the one that staged it): whether the JAR has
    // a staged project and is done with its work folder; the project to
    // commit, its suite recorded (nullptr when that failed); and, once the
    // commit is over, the rest of Finish, given what failed of the commit
    // (nullptr when nothing did, or when no project was given).
    bool CommitsLater() const;
    StagedProject* ProjectToCommit(ProjectNames& names);
    void Committed(const std::exception_ptr& failure, ProjectNames& names);
    // A JAR that is dropped before it finishes (the run ends) leaves nothing
    // in the work folder for the next one.
    void Drop();
    // On the thread that called RunBatch: the JAR's log lines, progress
    // and message boxes, its changes to the program-wide values, its tally
    // and the run's callbacks. Raises the JarFailure of a failed JAR when
    // the run has no onJarFailure.
    void Tell(RunContext& run, BatchTally& tally);

  private:
    enum class Choice { Undecided, Skip, Failed, AlreadyGenerated, Make };
    // What the JAR says, in order.
    struct Event {
        enum class Kind { Line, Progress, IdsFailureBox } kind;
        std::string line;
        int steps = 0;
    };

  public:
    // The files of the JAR's work, in the work folder: no other JAR's and
    // no earlier run's files are ever found there.
    struct WorkPaths {
        WorkPaths(const std::string& workFolder, const std::string& jarName);
        std::string folder;
        std::string workingJar;
        std::string extractedManifest;
    };

    // The working JAR made: the icon path its manifest gives, the manifest
    // as the JAR now holds it, and the suite the listed JAR holds.
    struct WorkingJar {
        std::string iconPath;
        std::string rewritten;
        SuiteIdentity suite;
    };

  private:
    template <typename Work>
    void Attempt(Work&& work);
    void Say(const std::string& line) { events_.push_back({Event::Kind::Line, line, 0}); }
    void Progress(int steps) { events_.push_back({Event::Kind::Progress, {}, steps}); }
    void TellCommitted(const std::exception_ptr& failure);
    void CleanUp(ProjectNames& names);
    void KeepWorkingJar();
    void TellIds(const std::string& failure);
    void TellOutcome(RunContext& run, BatchTally& tally);

    const RunContext& run_;
    std::string tempFolder_;
    std::string projectsFolder_;
    std::string workingJar_;  // in the temp folder, with the listed file's name
    JarRecord record_;
    Choice choice_ = Choice::Undecided;
    std::exception_ptr failure_;
    std::exception_ptr ending_;  // not a failure of the JAR: it ends the run
    std::vector<Event> events_;

    // The JAR's own program-wide values, and which of them it set.
    ProgramState state_;
    bool named_ = false;
    bool projectNamed_ = false;
    bool jadKeysSet_ = false;
    bool made_ = false;
    bool keptWorkingJar_ = false;

    WorkFolder& workFolder_;
    std::optional<WorkPaths> work_;
    bool workMovedOut_ = false;  // the working JAR and the manifest left it
    WorkingJar working_;
    ProjectClaim claim_;
    bool claimed_ = false;
    bool movedIn_ = false;
    std::optional<StagedProject> project_;
    // The listed JAR's folder, resolved once while the JAR and its JAD are
    // read.
    std::optional<platform::PinnedFolder> listedFolder_;
};

}  // namespace midlet
