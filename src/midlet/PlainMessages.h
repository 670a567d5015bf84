// Failures told in a user's words: what is wrong, with the file it concerns,
// and never an engine's internal number. The tools print these; the window
// keeps the texts it has always shown.
#pragma once

#include <exception>
#include <string>

#include "platform/Errors.h"

namespace midlet {

// Raised for a JAR without a META-INF/MANIFEST.MF entry. The window shows it
// as the missing file it is ("File not found"); the tools say what it means.
class NoManifestError : public platform::EInOutError {
  public:
    NoManifestError() : platform::EInOutError(platform::ERROR_FILE_NOT_FOUND) {}
};

// The sentence for an archive engine native error, with "%s" standing for
// the path the failure names (" \"PATH\"" or nothing); nullptr for a number
// the table lacks.
const char* ArchiveErrorSentence(int nativeError);

// The sentence for a system error code of the platform's file services.
std::string SystemErrorSentence(unsigned code);

// A failure in plain words, ending with "."; the file the tool was working
// on is printed before it by the caller. A JarFailure is told by its cause.
std::string PlainFailureText(std::exception_ptr failure);

// A question of the archive engine (its message and what the window would
// add to it) in plain words, ending with "."; a question that carries no
// engine message stays as it is.
std::string PlainQuestionText(const std::string& question);

}  // namespace midlet
