#include "midlet/CheckRun.h"

#include <exception>

#include "midlet/suite/SuiteFacts.h"
#include "midlet/suite/SuiteFactsReport.h"

namespace midlet {

namespace {

SuiteReport CheckOne(const std::string& jar, const std::string& jad, const CheckOptions& options) {
    try {
        return CheckSuite(jar, jad.empty() ? JadBeside(jar) : jad, options);
    } catch (const std::exception&) {
        // Only a failure to allocate gets here: the rules throw for no input.
        SuiteReport report;
        report.jar = jar;
        report.device = options.device->name;
        report.verdict = {false,
                          0,
                          {jar,
                           Severity::Error,
                           0,
                           {},
                           "could not be checked: out of memory",
                           "check the suite alone",
                           InstallStep::ReadJar}};
        return report;
    }
}

// The suite's facts: their warnings join its findings, and the JSON object
// goes with the report.
SuiteFacts AddSuiteFacts(SuiteReport& report, const std::string& jad) {
    SuiteFacts facts = ComputeSuiteFacts(report.jar, jad.empty() ? JadBeside(report.jar) : jad);
    const std::vector<Finding> warnings = SuiteFactFindings(facts, report.jar);
    report.findings.insert(report.findings.end(), warnings.begin(), warnings.end());
    report.factsJson = SuiteFactsJson(facts);
    return facts;
}

}  // namespace

bool ChooseDevice(const std::string& executableFolder, const std::vector<std::string>& files,
                  const std::string& name, DeviceChoice& choice, std::string& problem) {
    choice.profiles = ShippedDeviceProfiles(executableFolder);
    for (const std::string& file : files) {
        if (!choice.profiles.ReadFile(file, problem)) {
            return false;
        }
    }
    const std::string wanted = name.empty() ? std::string(kDefaultDevice) : name;
    choice.device = choice.profiles.Find(wanted);
    if (choice.device == nullptr) {
        problem = "no device profile \"" + wanted + "\" (--devices lists them)";
        return false;
    }
    return true;
}

int RunCheck(const CheckRequest& request, const DeviceProfile& device, std::ostream& out) {
    const CheckOptions options{&device, request.now};
    std::vector<SuiteReport> reports;
    for (const std::string& jar : request.jars) {
        reports.push_back(CheckOne(jar, request.jad, options));
        const SuiteFacts facts = AddSuiteFacts(reports.back(), request.jad);
        if (!request.json) {
            out << ReportLines(reports.back());
            if (request.info) {
                out << SuiteFactsText(facts, jar);
            }
            out.flush();
        }
    }
    if (request.json) {
        out << ReportsJson(reports, device.name);
    } else {
        out << SummaryLine(reports) << '\n';
    }
    out.flush();
    for (const SuiteReport& report : reports) {
        if (!report.verdict.ok) {
            return 1;
        }
    }
    return 0;
}

bool ParseDate(const std::string& text, std::time_t& time) {
    std::tm tm{};
    int year = 0;
    int month = 0;
    int day = 0;
    char end = 0;
    if (text.size() != 10 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &end) != 3 || month < 1 ||
        month > 12 || day < 1 || day > 31 || year < 1970) {
        return false;
    }
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    time = timegm(&tm);
    return time > 0;
}

}  // namespace midlet
