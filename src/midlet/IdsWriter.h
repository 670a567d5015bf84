// The IDS descriptor: the install descriptor of one project that points at
// its JAD and JAR on the phone's memory card.
#pragma once

#include <string>
#include <vector>

#include "midlet/Session.h"

namespace midlet {

// The lines of the IDS file of the project in hand: 15 for an application or
// a game, 11 when the midlet type is neither.
std::vector<std::string> IdsLines(const RunOptions& options, const ProgramState& state);

// programFolder + "projects/" + project name + ".ids".
std::string IdsFilePath(const std::string& programFolder, const std::string& projectName);

// What the log says of the IDS file of `projectName`: written, or not.
std::string IdsGeneratedLine(const std::string& projectName);
std::string IdsFailedLine(const std::string& projectName);

// The message box that tells an IDS file could not be written.
void ShowIdsFailure();

// Writes the IDS file anew, replacing an old one in one step (its new
// content is staged in programFolder + "temp/"), logs "<project>.ids
// generated!" and adds 1 to the IDS count. A failure is shown in a message
// box and logged as "<project>.ids generation failed!"; the old file, if
// any, stays as it was. Gives false with the failure's reason in `failure`
// then; it never raises.
bool WriteIds(const RunOptions& options, ProgramState& state, IRunOutput& output,
              const std::string& programFolder, std::string& failure);

}  // namespace midlet
