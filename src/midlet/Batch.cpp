// The batch run over the JAR list: each JAR is prepared into its project,
// and given its IDS file.
#include "midlet/Batch.h"

#include <cstddef>
#include <exception>
#include <string>

#include "midlet/IdsWriter.h"
#include "midlet/ProjectNames.h"
#include "midlet/Staging.h"
#include "midlet/StepFailure.h"
#include "midlet/WorkspaceFiles.h"
#include "midlet/WorkspaceLock.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace midlet {

namespace {

// A listed file that has gone is told by its name.
void CheckListedFileExists(const std::string& listed) {
    if (!platform::FileExists(listed)) {
        throw platform::Exception("File not found: \"" + listed + "\"");
    }
}

// The folders of the workspace, made when missing (a first run on a fresh
// install finds neither).
void MakeWorkspaceFolder(const std::string& folder) {
    if (!platform::ForceDirectories(folder)) {
        throw platform::Exception("Could not make the folder \"" + folder +
                                  "\": " + ReasonForCode(platform::GetLastError()));
    }
}

// What runs that ended left in staging goes before this run stages anything.
void RemoveWhatEndedRunsLeft(const std::string& tempFolder) {
    try {
        RemoveStaleStaging(tempFolder);
    } catch (const std::exception& e) {
        throw platform::Exception("Could not remove what an earlier run left in \"" + tempFolder +
                                  "\": " + ReasonOf(e));
    }
}

// The run's output, with every log line told as one listed JAR's.
class JarLog : public IRunOutput {
  public:
    JarLog(IRunOutput& output, const std::string& listed) : output_(output), listed_(listed) {}
    void ShowLog() override { output_.ShowLog(); }
    void AppendLog(const std::string& line) override { output_.AppendJarLog(listed_, line); }
    void AdvanceProgress(int steps) override { output_.AdvanceProgress(steps); }

  private:
    IRunOutput& output_;
    const std::string& listed_;
};

// The IDS file of the project in hand, when asked for; a failure is the
// JAR's.
void WriteIdsOf(RunContext& run, const std::string& listed) {
    if (!run.options.writeIds) {
        return;
    }
    std::string failure;
    JarLog log(run.output, listed);
    if (!WriteIds(run.options, run.state, log, run.programFolder, failure)) {
        throw StepFailure("write the IDS file " + run.state.projectName + ".ids", listed, failure);
    }
}

// After a failure: a working JAR kept for the entry goes, so the next run
// tries it again. Never raises: the failure itself is what the user must
// see, and a staging place left behind goes with the next run.
void CleanUpAfterFailure(const std::string& workingJar) {
    try {
        DiscardFile(workingJar);
    } catch (const std::exception&) {
    }
}

void TellJarDone(RunContext& run, const JarRecord& record) {
    if (run.onJarDone) {
        run.onJarDone(record);
    }
}

}  // namespace

BatchTally RunBatch(RunContext& run) {
    const std::string tempFolder = run.programFolder + "temp" + platform::PathDelim;
    const std::string projectsFolder = run.programFolder + "projects" + platform::PathDelim;
    BatchTally tally;

    // Show the log; lines of earlier runs stay.
    run.output.ShowLog();
    MakeWorkspaceFolder(tempFolder);
    MakeWorkspaceFolder(projectsFolder);
    const WorkspaceLock lock(run.programFolder, tempFolder);
    RemoveWhatEndedRunsLeft(tempFolder);
    ProjectNames names(run.programFolder, run.force);

    // The run covers the entries listed now, in list order.
    const std::size_t count = run.options.list.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& listed = run.options.list[i];
        // The working JAR keeps the listed file's name.
        const std::string workingJar = tempFolder + platform::ExtractFileName(listed);
        // A working JAR kept by an earlier run is never overwritten; a
        // forced run prepares its JAR all the same.
        JarRecord record;
        record.index = i;
        record.listed = listed;
        if (!run.force && platform::FileExists(workingJar)) {
            run.output.AppendJarLog(listed, workingJar + " already exists!");
            ++tally.skipped;
            record.outcome = JarOutcome::Skipped;
            TellJarDone(run, record);
            continue;
        }
        bool made = false;
        try {
            CheckListedFileExists(listed);
            made = PrepareJar(run, names, listed, workingJar);
            record.projectName = run.state.projectName;
            record.originalJadKeys = made ? run.state.originalJadKeys : 0;
            run.output.AdvanceProgress(2);
            WriteIdsOf(run, listed);
            if (made && run.inspectProject) {
                run.inspectProject(record);
            }
        } catch (const std::exception& e) {
            CleanUpAfterFailure(workingJar);
            ++tally.failed;
            const JarFailure failure(listed, e.what(), std::current_exception());
            record.outcome = JarOutcome::Failed;
            record.failure = std::current_exception();
            if (!run.onJarFailure) {
                throw failure;
            }
            run.onJarFailure(failure);
            TellJarDone(run, record);
            continue;
        }
        ++tally.prepared;
        run.output.AdvanceProgress(1);
        record.outcome = made ? JarOutcome::Prepared : JarOutcome::AlreadyGenerated;
        if (made && run.onJarPrepared) {
            run.onJarPrepared(listed, run.state.projectName);
        }
        TellJarDone(run, record);
    }
    return tally;
}

}  // namespace midlet
