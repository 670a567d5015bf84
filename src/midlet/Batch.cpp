// The batch run over the JAR list: each JAR is prepared into its project,
// and given its IDS file.
#include "midlet/Batch.h"

#include <cstddef>
#include <exception>
#include <string>

#include "midlet/IdsWriter.h"
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

// The IDS file of the project in hand, when asked for; a failure is the
// JAR's.
void WriteIdsOf(RunContext& run, const std::string& listed) {
    if (!run.options.writeIds) {
        return;
    }
    std::string failure;
    if (!WriteIds(run.options, run.state, run.output, run.programFolder, failure)) {
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

    // The run covers the entries listed now, in list order.
    const std::size_t count = run.options.list.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& listed = run.options.list[i];
        // The working JAR keeps the listed file's name.
        const std::string workingJar = tempFolder + platform::ExtractFileName(listed);
        // A working JAR kept by an earlier run is never overwritten.
        if (platform::FileExists(workingJar)) {
            run.output.AppendLog(workingJar + " already exists!");
            ++tally.skipped;
            continue;
        }
        bool made = false;
        try {
            CheckListedFileExists(listed);
            made = PrepareJar(run, listed, workingJar);
            run.output.AdvanceProgress(2);
            WriteIdsOf(run, listed);
        } catch (const std::exception& e) {
            CleanUpAfterFailure(workingJar);
            ++tally.failed;
            const JarFailure failure(listed, e.what(), std::current_exception());
            if (!run.onJarFailure) {
                throw failure;
            }
            run.onJarFailure(failure);
            continue;
        }
        ++tally.prepared;
        run.output.AdvanceProgress(1);
        if (made && run.onJarPrepared) {
            run.onJarPrepared(listed, run.state.projectName);
        }
    }
    return tally;
}

}  // namespace midlet
