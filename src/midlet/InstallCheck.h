// The installability report: what a phone's MIDP installer would say about a
// JAR and its JAD, found before anything is copied to the phone. The checks
// run in the installer's own order; the first error is the verdict, the code
// the phone shows, and every other finding is listed after it. Each finding
// names the file it is about, the installer's status code where there is
// one, the attribute concerned, what is wrong and what to change.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "midlet/DeviceProfiles.h"

namespace midlet {

enum class Severity { Error, Warning };

// The installer's steps in the order it runs them; a finding's step places
// it in the report and decides which error is the verdict.
enum class InstallStep {
    ReadJad,
    JadIdentity,
    JadSizes,
    Storage,
    JarUrl,
    Signature,
    ReadJar,
    ManifestSyntax,
    MidletClasses,
    JarSize,
    Identity,
    TrustedAgreement,
    TrustedPermissions,
    RuntimeEnvironment,
    Configuration,
    Profile,
    Push,
    Advice,  // what the installer does not check, but a user should know
};

struct Finding {
    std::string file;  // the JAR or JAD the finding is about
    Severity severity = Severity::Error;
    int code = 0;           // the installer's status code; 0 for none
    std::string attribute;  // the attribute concerned; empty for none
    std::string message;    // what is wrong
    std::string fix;        // what to change
    InstallStep step = InstallStep::Advice;
};

inline constexpr int kSuccess = 900;
inline constexpr int kInsufficientMemory = 901;
inline constexpr int kJarSizeMismatch = 904;
inline constexpr int kAttributeMismatch = 905;
inline constexpr int kInvalidJad = 906;
inline constexpr int kInvalidJar = 907;
inline constexpr int kIncompatible = 908;
inline constexpr int kAuthenticationFailure = 909;
inline constexpr int kAuthorizationFailure = 910;
inline constexpr int kPushRegistrationFailure = 911;

// The phone's answer: 900 when it installs the suite; otherwise the code of
// the first failing step (0 where the installer stops without one) and the
// finding that decides it.
struct Verdict {
    bool ok = true;
    int code = kSuccess;
    Finding decisive;  // empty when ok
};

struct SuiteReport {
    std::string jar;
    std::string jad;     // empty when the suite is installed without one
    std::string device;  // the profile assumed
    Verdict verdict;
    std::vector<Finding> findings;  // every other finding, in the installer's order
    std::string factsJson;          // what the suite needs beyond its JAR; empty: not computed

    bool HasWarnings() const;
};

struct CheckOptions {
    const DeviceProfile* device = nullptr;  // null: the built-in default
    std::time_t now = 0;                    // the phone's clock; 0: this machine's
};

// The JAD beside a JAR: the same path with ".jad" (or ".JAD") for the JAR's
// extension. Empty when there is none.
std::string JadBeside(const std::string& jar);

// Applies the installation rules to a JAR and its JAD (`jad` empty: the JAR
// is installed without one). Files that cannot be read give findings;
// nothing is thrown for bad input, and nothing is written.
SuiteReport CheckSuite(const std::string& jar, const std::string& jad,
                       const CheckOptions& options = {});

// What preparing a listed JAR (with its JAD, `listedJad` empty when it had
// none) lost in the prepared project's JAR and JAD: a signature (a warning
// 909 on MIDlet-Jar-RSA-SHA1 naming the listed JAR) and the keys that only
// the listed JAD had and the prepared JAD lacks (warnings on the listed JAD).
std::vector<Finding> CheckPreparationLoss(const std::string& listedJar,
                                          const std::string& listedJad,
                                          const std::string& preparedJar,
                                          const std::string& preparedJad);

// What quellor-batch --check reports after one prepared JAR: the report for
// the project's JAR and JAD, with what preparing the listed JAR (with its
// original JAD `listedJad`; empty: the JAD beside it, when there is one)
// lost among its findings.
SuiteReport CheckPrepared(const std::string& listedJar, const std::string& preparedJar,
                          const std::string& preparedJad, const CheckOptions& options = {},
                          const std::string& listedJad = {});

// The printed forms. A file name holding a blank, a colon or a quote is
// quoted; control characters show as "?".
//   "FILE: verdict ok (device NAME)"
//   "FILE: verdict CODE ATTRIBUTE: message; fix (device NAME)"
//   "FILE: SEVERITY CODE ATTRIBUTE: message; fix"
// with "-" for a missing code or attribute; no line end.
std::string VerdictLine(const SuiteReport& report);
std::string FindingLine(const Finding& finding);
// The verdict line, then a line per finding, each with its line end.
std::string ReportLines(const SuiteReport& report);
// "42 suites: 30 ok, 8 with warnings, 4 with errors"
std::string SummaryLine(const std::vector<SuiteReport>& reports);

// One JSON object: the device, the suites (each with jar, jad, a verdict
// object and its findings) and the summary counts; with a line end.
std::string ReportsJson(const std::vector<SuiteReport>& reports, const std::string& device);

}  // namespace midlet
