// Reading the attributes of a JAD and of a JAR manifest's main section into
// name/value pairs, with the places where the text breaks the format.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace midlet {

struct Attribute {
    std::string name;
    std::string value;  // without surrounding blanks; continuation lines joined
};

struct SyntaxProblem {
    int line = 0;           // 1-based physical line
    std::string attribute;  // empty when the line names none
    std::string message;
};

struct AttributeList {
    std::vector<Attribute> items;  // in the order read, duplicates included
    std::vector<SyntaxProblem> problems;
    std::vector<std::string> duplicates;  // names given more than once

    // The first value of `name` (exact case), or null.
    const std::string* Find(std::string_view name) const;
};

// A JAD: "name: value" lines, blanks around the value allowed, empty lines
// skipped, a line starting with a space continues the value before it. A
// UTF-8 byte order mark at the start is skipped.
AttributeList ParseJad(std::string_view text);

// The main section of a manifest: up to the first empty line, "name: value"
// with exactly one space after the colon, continuation lines as above.
AttributeList ParseManifest(std::string_view text);

// [A-Za-z0-9][A-Za-z0-9_-]*
bool IsAttributeName(std::string_view name);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

}  // namespace midlet
