// The batch run over the JAR list and the per-JAR preparation.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "midlet/Session.h"
#include "platform/Errors.h"

namespace archive {
class TZipArchiver;
}

namespace midlet {

// The failure of one listed JAR: the message the failure was raised with
// (so the window shows what it always showed) and the listed path.
class JarFailure : public platform::Exception {
  public:
    JarFailure(std::string jar, const std::string& message, std::exception_ptr cause = {})
        : platform::Exception(message), Jar(std::move(jar)), Cause(std::move(cause)) {}
    std::string Jar;
    std::exception_ptr Cause;  // what failed, for a text in the user's words
};

// How a run over the list went.
struct BatchTally {
    int prepared = 0;  // made, or found already generated
    int skipped = 0;   // working JAR left in the temp folder
    int failed = 0;
};

// Everything a run works with: the options read from the window, the
// program-wide values, where it writes, and the window's archive component.
struct RunContext {
    const RunOptions& options;
    ProgramState& state;
    IRunOutput& output;
    archive::TZipArchiver& zip;
    std::string programFolder;  // with its trailing delimiter
    // When set, a JAR that fails is handed to it and the run goes on with
    // the next; when not, the failure ends the run.
    std::function<void(const JarFailure&)> onJarFailure = {};
    // When set, called after each JAR made into a new project (not one
    // found already generated, not one that failed), once its IDS file is
    // written: the listed path and the project's name. What it raises ends
    // the run.
    std::function<void(const std::string&, const std::string&)> onJarPrepared = {};
};

// Walks options.list once, holding the workspace lock: makes each JAR's
// working JAR in the temp folder, prepares it, writes its IDS file when
// asked, advances the progress by 2 and 1. A JAR that fails leaves no
// working JAR behind, so a later run tries it again; its failure is raised
// as a JarFailure (or handed to onJarFailure). Each JAR made into a new
// project is handed to onJarPrepared.
BatchTally RunBatch(RunContext& run);

// Turns a listed JAR into a finished project. The listed file is only read:
// the working JAR (in the temp folder, which must not hold it) is made from
// it with the manifest rewritten, and becomes the project's JAR. Gives false
// when it found the project already generated.
bool PrepareJar(RunContext& run, const std::string& listed, const std::string& workingJar);

// Removes what the preparation of one JAR keeps in the temp folder: the
// manifest copy and the extracted manifest's folder with all below it.
void ClearManifestFiles(const std::string& tempFolder);

}  // namespace midlet
