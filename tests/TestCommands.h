// Running the real tools from the tests of every layer: shell quoting and a
// command's exit status and standard output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

// One shell word holding `text` exactly.
inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

struct CommandResult {
    int status = -1;  // the exit status; -1 when the command did not exit normally
    std::string out;
};

// Runs a shell command; its standard output is captured, standard error
// goes to the test's own.
inline CommandResult Shell(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.out.append(buffer, n);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
