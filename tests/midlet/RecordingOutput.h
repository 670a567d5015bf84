// An output log and progress bar that remember what a run showed.
#pragma once

#include <string>
#include <vector>

#include "midlet/Session.h"

namespace midlet {

class RecordingOutput : public IRunOutput {
  public:
    void ShowLog() override { logShown = true; }
    void AppendLog(const std::string& line) override { log.push_back(line); }
    void AdvanceProgress(int steps) override {
        progress += steps;
        advances.push_back(steps);
    }

    bool logShown = false;
    std::vector<std::string> log;
    int progress = 0;
    std::vector<int> advances;  // every AdvanceProgress call, in order
};

}  // namespace midlet
