// The batch run over the JAR list: each JAR is copied into the temp folder,
// prepared there, and given its IDS file.
#include "midlet/Batch.h"

#include <cstddef>
#include <string>

#include "midlet/IdsWriter.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace midlet {

void RunBatch(RunContext& run) {
    const std::string tempFolder = run.programFolder + "temp" + platform::PathDelim;
    const std::string projectsFolder = run.programFolder + "projects" + platform::PathDelim;

    // 1. Show the log; lines of earlier runs stay.
    run.output.ShowLog();
    // A first run on a fresh install finds neither folder of the workspace.
    // A folder that cannot be made shows up as the failure of the first JAR.
    platform::ForceDirectories(tempFolder);
    platform::ForceDirectories(projectsFolder);

    // 2. The run covers the entries listed now, in list order.
    const std::size_t count = run.options.list.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& listed = run.options.list[i];
        // 3.1 The working JAR keeps the listed file's name.
        const std::string workingJar = tempFolder + platform::ExtractFileName(listed);
        // 3.2 A working JAR left by an earlier run is never overwritten.
        if (platform::FileExists(workingJar)) {
            run.output.AppendLog(workingJar + " already exists!");
            continue;
        }
        // 3.3 The listed file is only read; a failed copy shows up in the
        // preparation.
        platform::CopyFile(listed, workingJar, true);
        // 3.4-3.7
        PrepareJar(run, workingJar);
        run.output.AdvanceProgress(2);
        if (run.options.writeIds) {
            WriteIds(run.options, run.state, run.output, run.programFolder);
        }
        run.output.AdvanceProgress(1);
    }
}

}  // namespace midlet
