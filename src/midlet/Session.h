// What the preparation reads from the window and writes back to it, and the
// program-wide values that live as long as the program.
#pragma once

#include <string>
#include <vector>

#include "midlet/OptionKinds.h"

namespace midlet {

// The window's option controls, as the preparation reads them. The window
// fills one from its controls right before a run; quellor-batch fills one
// from its command line and the settings file.
struct RunOptions {
    std::vector<std::string> list;    // the JAR list: full paths, in the order added
    JadKind jadKind = JadKind::Full;  // jad_gen
    bool writeIds = true;             // ids_gen
    bool extractIcon = true;          // ico_gen
    MidletType midletType = MidletType::Application;  // jtype
    std::string appPath = "fs:/card0/Applications/";  // app_path
    std::string gamePath = "fs:/card0/Games/";        // game_path
    // The original JAD of the one listed JAR; empty: the JAD beside each.
    std::string originalJad;
};

// Where a run writes: the output log `out` and the progress bar `pro`.
class IRunOutput {
  public:
    virtual ~IRunOutput() = default;
    virtual void ShowLog() = 0;  // make the output log visible
    virtual void AppendLog(const std::string& line) = 0;
    virtual void AdvanceProgress(int steps) = 0;
    // A log line that concerns one listed JAR. The window shows it as it
    // is; a front end may say which JAR it is about.
    virtual void AppendJarLog(const std::string& listed, const std::string& line) {
        (void)listed;
        AppendLog(line);
    }
};

// The program-wide values: the cleaned MIDlet name and the project name
// (both empty at start, carried over between JARs and runs) and the three
// counters the window resets when it is created.
struct ProgramState {
    std::string cleanedName;  // at most 15 bytes
    std::string projectName;  // the first 9 bytes of cleanedName
    int jarCount = 0;
    int jadCount = 0;
    int idsCount = 0;
    // The keys the last full JAD made took from its original JAD.
    int originalJadKeys = 0;
};

}  // namespace midlet
