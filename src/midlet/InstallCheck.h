// The installability report: what a phone's MIDP installer would say about a
// JAR and its JAD, found before anything is copied to the phone. Each finding
// names the file it is about, the installer's status code where there is one
// (904 JAR size, 905 attribute mismatch, 906 invalid descriptor, 907 invalid
// JAR, 909 authentication, 911 push registration) and the attribute concerned.
#pragma once

#include <string>
#include <vector>

namespace midlet {

enum class Severity { Error, Warning };

struct Finding {
    std::string file;  // the JAR or JAD the finding is about
    Severity severity = Severity::Error;
    int code = 0;           // the installer's status code; 0 for none
    std::string attribute;  // the attribute concerned; empty for none
    std::string message;
};

inline constexpr int kJarSizeMismatch = 904;
inline constexpr int kAttributeMismatch = 905;
inline constexpr int kInvalidJad = 906;
inline constexpr int kInvalidJar = 907;
inline constexpr int kAuthenticationFailure = 909;
inline constexpr int kPushRegistrationFailure = 911;

// The JAD beside a JAR: the same path with ".jad" (or ".JAD") for the JAR's
// extension. Empty when there is none.
std::string JadBeside(const std::string& jar);

// Applies the installation rules to a JAR and its JAD (`jad` empty: the JAR
// is installed without one). Files that cannot be read give error findings;
// nothing is thrown for bad input, and nothing is written.
std::vector<Finding> CheckSuite(const std::string& jar, const std::string& jad);

// What preparing a listed JAR (with its JAD, `listedJad` empty when it had
// none) lost in the prepared project's JAR and JAD: a signature (a warning
// 909 on MIDlet-Jar-RSA-SHA1 naming the listed JAR) and the keys that only
// the listed JAD had and the prepared JAD lacks (warnings on the listed JAD).
std::vector<Finding> CheckPreparationLoss(const std::string& listedJar,
                                          const std::string& listedJad,
                                          const std::string& preparedJar,
                                          const std::string& preparedJad);

// What quellor-batch --check reports after one prepared JAR: the findings
// for the project's JAR and JAD, then what preparing the listed JAR (with
// the JAD beside it, when there is one) lost.
std::vector<Finding> CheckPrepared(const std::string& listedJar, const std::string& preparedJar,
                                   const std::string& preparedJad);

bool HasErrors(const std::vector<Finding>& findings);

// "FILE: SEVERITY CODE ATTRIBUTE: message", with "-" for a missing code or
// attribute; no line end.
std::string FindingLine(const Finding& finding);

// One JSON array of objects with the keys file, severity, code (number or
// null), attribute (string or null) and message, and a line end.
std::string FindingsJson(const std::vector<Finding>& findings);

}  // namespace midlet
