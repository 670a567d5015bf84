// The suite facts in the report: the findings they give, a readable block
// of lines, and a JSON object.
#pragma once

#include <string>
#include <vector>

#include "midlet/InstallCheck.h"
#include "midlet/suite/SuiteFacts.h"

namespace midlet {

// Warnings on `jar`: keys read that nothing provides, MIDlet classes that
// are no MIDlets, class files a phone refuses (too new, not preverified,
// unreadable), and an archive that is no MIDlet suite.
std::vector<Finding> SuiteFactFindings(const SuiteFacts& facts, const std::string& jar);

// "facts of JAR" and one indented "name: value" line per fact, each with a
// line end.
std::string SuiteFactsText(const SuiteFacts& facts, const std::string& jar);

// One JSON object, without a line end.
std::string SuiteFactsJson(const SuiteFacts& facts);

// `text` as a JSON string; bytes of text that is no UTF-8 show as U+FFFD.
std::string JsonValue(const std::string& text);

// "47.0 (Java 1.3)"; empty when no class was read.
std::string ClassVersionText(const SuiteFacts& facts);

}  // namespace midlet
