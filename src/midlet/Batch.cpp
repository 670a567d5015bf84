// The batch run over the JAR list: each JAR is prepared into a working JAR
// in the temp folder, and given its IDS file.
#include "midlet/Batch.h"

#include <cstddef>
#include <exception>
#include <string>

#include "midlet/IdsWriter.h"
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

// After a failure: the working JAR made for the entry goes, so the next run
// tries it again, and so do the manifest files. Never raises: the failure
// itself is what the user must see.
void CleanUpAfterFailure(const std::string& workingJar, const std::string& tempFolder) {
    try {
        DiscardFile(workingJar);
        ClearManifestFiles(tempFolder);
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
    // A first run on a fresh install finds neither folder of the workspace.
    // A folder that cannot be made shows up as the failure of the first JAR.
    platform::ForceDirectories(tempFolder);
    platform::ForceDirectories(projectsFolder);
    const WorkspaceLock lock(run.programFolder, tempFolder);

    // The run covers the entries listed now, in list order.
    const std::size_t count = run.options.list.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& listed = run.options.list[i];
        // The working JAR keeps the listed file's name.
        const std::string workingJar = tempFolder + platform::ExtractFileName(listed);
        // A working JAR left by an earlier run is never overwritten.
        if (platform::FileExists(workingJar)) {
            run.output.AppendLog(workingJar + " already exists!");
            ++tally.skipped;
            continue;
        }
        bool made = false;
        try {
            CheckListedFileExists(listed);
            made = PrepareJar(run, listed, workingJar);
        } catch (const std::exception& e) {
            CleanUpAfterFailure(workingJar, tempFolder);
            ++tally.failed;
            const JarFailure failure(listed, e.what(), std::current_exception());
            if (!run.onJarFailure) {
                throw failure;
            }
            run.onJarFailure(failure);
            continue;
        }
        ++tally.prepared;
        run.output.AdvanceProgress(2);
        if (run.options.writeIds) {
            WriteIds(run.options, run.state, run.output, run.programFolder);
        }
        run.output.AdvanceProgress(1);
        if (made && run.onJarPrepared) {
            run.onJarPrepared(listed, run.state.projectName);
        }
    }
    return tally;
}

}  // namespace midlet
