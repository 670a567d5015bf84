#include "midlet/IdsWriter.h"

#include <exception>

#include "midlet/StepFailure.h"
#include "midlet/WorkspaceFiles.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace midlet {

namespace {

constexpr const char* kFailureText = "Не удалось создать ids файл! Очистите папку projects!";
constexpr const char* kFailureCaption = "ids generate error!";

}  // namespace

std::vector<std::string> IdsLines(const RunOptions& options, const ProgramState& state) {
    const bool application = options.midletType == MidletType::Application;
    const bool game = options.midletType == MidletType::Game;
    const bool typed = application || game;
    const std::string& project = state.projectName;
    const std::string cardFolder = (application ? options.appPath : options.gamePath) + project;

    std::vector<std::string> lines;
    lines.push_back("QC-AMS-IDS-Version: 0.1");
    lines.push_back(state.cleanedName);
    if (typed) {
        lines.push_back(cardFolder + "/" + project + ".jad");
    }
    lines.push_back("");
    if (typed) {
        lines.push_back(cardFolder + "/" + project + ".jar");
    }
    lines.push_back("864315860");
    lines.push_back("0");
    lines.push_back("FALSE");
    lines.push_back("TRUE");
    lines.push_back("FALSE");
    lines.push_back("manufacturer");
    if (typed) {
        lines.push_back(application ? "Applications" : "Games");
        lines.push_back(cardFolder);
    }
    lines.push_back("1");
    lines.push_back("AA,AA,AA,AA,AA,AA,AA,AA,AA,AA,AA,AA,AN,AN,AN,AN,AN,AN,AN,AN");
    return lines;
}

std::string IdsFilePath(const std::string& programFolder, const std::string& projectName) {
    return programFolder + "projects" + platform::PathDelim + projectName + ".ids";
}

std::string IdsGeneratedLine(const std::string& projectName) {
    return projectName + ".ids generated!";
}

std::string IdsFailedLine(const std::string& projectName) {
    return projectName + ".ids generation failed!";
}

void ShowIdsFailure() {
    platform::Dialogs().MessageBox(kFailureText, kFailureCaption,
                                   platform::MB_OK | platform::MB_ICONERROR);
}

bool WriteIds(const RunOptions& options, ProgramState& state, IRunOutput& output,
              const std::string& programFolder, std::string& failure) {
    try {
        ReplaceTextFile(IdsFilePath(programFolder, state.projectName), IdsLines(options, state),
                        programFolder + "temp" + platform::PathDelim);
    } catch (const std::exception& e) {  // platform::Exception included
        failure = ReasonOf(e);
        ShowIdsFailure();
        output.AppendLog(IdsFailedLine(state.projectName));
        return false;
    }
    // Only a file written whole is reported and counted.
    output.AppendLog(IdsGeneratedLine(state.projectName));
    ++state.idsCount;
    return true;
}

}  // namespace midlet
