// What a headless front end needs from the process it runs in: the current
// folder, to make the paths it is given full, and whether standard error is
// a terminal it may draw a progress bar on.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The current folder with a trailing delimiter ("./" when it cannot be read).
std::string GetCurrentDir();

// The path made full against the current folder (a path starting with a
// delimiter is full already), "\" read as "/", "." components dropped and
// ".." taking away the component before it.
std::string ExpandFileName(std::string_view path);

// True when standard error is a terminal.
bool StdErrIsTerminal();
// True when standard output is a terminal: what is printed there shows on
// the lines a progress line on standard error takes, when both are one.
bool StdOutIsTerminal();

}  // namespace platform
