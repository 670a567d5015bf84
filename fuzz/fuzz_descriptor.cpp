// The attribute readers of the installability report, and the report over
// them. The first byte picks the reader (even: JAD, odd: manifest) for the
// rest of the input; every attribute read must have a valid name and a
// one-line value. The input then stands as the JAD beside a JAR that is
// missing: the verdict and each finding must print as one line, and the
// report as JSON with one finding per line and no raw control character.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "midlet/DescriptorAttributes.h"
#include "midlet/InstallCheck.h"

namespace {

void CheckAttributes(const midlet::AttributeList& list, bool jad) {
    for (const midlet::Attribute& item : list.items) {
        if (!(jad ? midlet::IsJadKey(item.name) : midlet::IsManifestKey(item.name))) {
            fuzz::Fail("an attribute with an invalid name was read: " + item.name);
        }
        if (item.value.find_first_of("\r\n") != std::string::npos) {
            fuzz::Fail("the value of " + item.name + " holds a line end");
        }
        if (list.Find(item.name) == nullptr) {
            fuzz::Fail("an attribute read is not found by its name: " + item.name);
        }
    }
}

void CheckReport(const midlet::SuiteReport& report) {
    const std::string lines = midlet::ReportLines(report);
    if (static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n')) !=
        report.findings.size() + 1) {
        fuzz::Fail("the verdict or a finding prints over more than one line");
    }
    if (report.verdict.ok) {
        fuzz::Fail("a suite without a JAR was found installable");
    }
    // The JSON report holds one finding per line and five lines around
    // them, so a line end inside a string shows as a line too many.
    const std::string json = midlet::ReportsJson({report}, report.device);
    std::size_t lineEnds = 0;
    for (const char c : json) {
        lineEnds += c == '\n' ? 1 : 0;
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n') {
            fuzz::Fail("the JSON report holds a raw control character");
        }
    }
    const std::size_t findings = report.findings.size();
    if (lineEnds != 5 + findings + (findings > 0 ? 1 : 0)) {
        fuzz::Fail("the JSON report holds a line end inside a string");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view text = fuzz::AsText(data + 1, size - 1);
    const bool asJad = (data[0] & 1) == 0;
    CheckAttributes(asJad ? midlet::ParseJad(text) : midlet::ParseManifest(text), asJad);

    static const fuzz::ScratchFolder folder;
    const std::string jad = folder.Path() + "suite.jad";
    fuzz::WriteInputFile(jad, data + 1, size - 1);
    CheckReport(midlet::CheckSuite(folder.Path() + "suite.jar", jad));
    return 0;
}
