// A run of the installability report over a list of JARs, as the headless
// tools make it: the device chosen from the shipped profiles and the user's
// own, each suite's report printed, a summary, and the exit status.
#pragma once

#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "midlet/DeviceProfiles.h"
#include "midlet/InstallCheck.h"

namespace midlet {

// The device profiles a tool offers, and the one chosen.
struct DeviceChoice {
    DeviceProfiles profiles;
    const DeviceProfile* device = nullptr;
};

// The shipped profiles, then those of `files`, and the profile `name`
// (empty: the default). False, with `problem`, when a file cannot be read
// or no profile has that name.
bool ChooseDevice(const std::string& executableFolder, const std::vector<std::string>& files,
                  const std::string& name, DeviceChoice& choice, std::string& problem);

struct CheckRequest {
    std::vector<std::string> jars;
    std::string jad;  // the JAD of the one JAR; empty: the one beside each JAR
    bool json = false;
    bool info = false;    // the suite facts as lines after each suite's report
    std::time_t now = 0;  // the phone's clock; 0: this machine's
};

// Prints each suite's report and the summary (or the JSON object) on `out`.
// Gives 0 when every verdict is ok, 1 otherwise.
int RunCheck(const CheckRequest& request, const DeviceProfile& device, std::ostream& out);

// "YYYY-MM-DD" as midnight UTC; false when it is no such date.
bool ParseDate(const std::string& text, std::time_t& time);

}  // namespace midlet
