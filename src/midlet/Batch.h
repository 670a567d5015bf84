// The batch run over the JAR list and the per-JAR preparation.
#pragma once

#include <string>

#include "midlet/Session.h"

namespace archive {
class TZipArchiver;
}

namespace midlet {

// Everything a run works with: the options read from the window, the
// program-wide values, where it writes, and the window's archive component.
struct RunContext {
    const RunOptions& options;
    ProgramState& state;
    IRunOutput& output;
    archive::TZipArchiver& zip;
    std::string programFolder;  // with its trailing delimiter
};

// Walks options.list once: copies each JAR into the temp folder, prepares
// it, writes its IDS file when asked, advances the progress by 2 and 1.
// Catches nothing.
void RunBatch(RunContext& run);

// Turns one working JAR in the temp folder into a finished project.
void PrepareJar(RunContext& run, const std::string& workingJar);

}  // namespace midlet
