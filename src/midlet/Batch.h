// The batch run over the JAR list and the per-JAR preparation.
#pragma once

#include <cstddef>
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

// What became of one listed JAR.
enum class JarOutcome {
    Prepared,          // made into a new project
    AlreadyGenerated,  // its suite's project was there already
    Skipped,           // its working JAR was found in the temp folder
    Failed,
};

// One listed JAR's passage through a run.
struct JarRecord {
    std::size_t index = 0;    // its place in the list
    std::string listed;       // the listed path
    std::string projectName;  // the project it made or found; empty when none
    JarOutcome outcome = JarOutcome::Failed;
    std::exception_ptr failure;  // what failed, for a Failed JAR
    int originalJadKeys = 0;     // keys its full JAD took from the original JAD
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
    // Prepare again a suite whose project is there, over that project; a
    // working JAR kept in the temp folder does not skip its JAR then.
    bool force = false;
    // How many JARs are prepared at once. Whatever the number, the run
    // makes the same projects and the same log as one at a time; every
    // callback but inspectProject runs on the calling thread. A run with
    // onJarFailure and without onJarPrepared lets later JARs' projects go
    // in before earlier JARs are told (so that they go in together): there,
    // a callback or output that raises leaves them in.
    unsigned jobs = 1;
    // With one job, prepare on a worker thread all the same, as with jobs
    // above 1, so that each JAR's commit runs beside the next JAR's work.
    // Off where the archive component's events must reach the caller (they
    // fire on the calling thread only when JARs are prepared in turn there).
    bool onWorkers = false;
    // When set, runs right after a JAR is made into a new project, on the
    // thread that committed it (with jobs above 1, a thread of the run's,
    // while other JARs are prepared): work a front end adds to each new
    // project, such as checking it. What it raises fails the JAR.
    std::function<void(JarRecord&)> inspectProject = {};
    // When set, called for every listed JAR, in listed order, on the thread
    // that called RunBatch, after the JAR's log lines: what became of it.
    std::function<void(const JarRecord&)> onJarDone = {};
};

// Walks options.list once, holding the workspace lock: removes what runs
// that ended left in staging, then prepares each JAR, writes its IDS file
// when asked, and advances the progress by 2 and 1. A JAR whose working JAR
// is found in the temp folder is skipped. A JAR that fails, its IDS file
// included, leaves no working JAR behind, so a later run tries it again;
// its failure is raised as a JarFailure (or handed to onJarFailure). Each
// JAR made into a new project is handed to onJarPrepared.
//
// Each JAR is turned into a finished project: the listed file is only
// read; the working JAR is made from it, with the manifest rewritten, in a
// staging folder, and becomes the project's JAR; the project appears in
// the projects folder whole or not at all. A JAR whose project was made
// before leaves its working JAR in the temp folder. A step that fails
// raises a StepFailure naming the listed JAR and the step.
//
// With run.jobs above 1 (or run.onWorkers), that many JARs are prepared at
// once on worker threads, each
// worker with an archive component set as run.zip is (without its events);
// the dialogs installed are asked one question at a time.
BatchTally RunBatch(RunContext& run);

}  // namespace midlet
