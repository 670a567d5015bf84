// The checks the installer makes when it registers a suite's push
// connections (MIDlet-Push-n: connection, MIDlet class, allowed sender).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace midlet {

struct PushProblem {
    int code = 0;  // 911, or 0 where the installer stops without a code
    std::string message;
    std::string fix;
};

// Checks one entry in the installer's order; `registered` holds the
// connections of the entries before it and gains this one. False, with the
// problem, when the entry fails.
bool CheckPushEntry(std::string_view value, const std::vector<std::string>& midletClasses,
                    const std::vector<std::string>& schemes, std::vector<std::string>& registered,
                    PushProblem& problem);

}  // namespace midlet
