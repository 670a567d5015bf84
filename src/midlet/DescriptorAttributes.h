// Reading the attributes of a JAD and of a JAR manifest into name/value
// pairs the way a phone's MIDP installer reads them, with the lines it
// refuses. The two readers differ: a JAD line ends at LF only and has no
// continuation lines; a manifest line ends at CR, LF or CR LF and a line
// starting with one space continues the one before.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace midlet {

struct Attribute {
    std::string name;
    std::string value;  // trimmed; manifest continuation lines joined
    int line = 0;       // 1-based line where it starts
};

struct SyntaxProblem {
    int line = 0;           // 1-based physical line
    std::string attribute;  // empty when the line names none
    std::string message;
    std::string fix;  // what to change
};

struct AttributeList {
    std::vector<Attribute> items;  // in the order read, duplicates included
    // Lines the installer refuses: any one of them fails the whole file.
    std::vector<SyntaxProblem> problems;
    // Lines it reads, but other tools may not (a manifest line without the
    // blank after its colon).
    std::vector<SyntaxProblem> notes;
    std::vector<std::string> duplicates;  // names given more than once
    bool notUtf8 = false;                 // bytes that are not UTF-8 became U+FFFD
    bool byteOrderMark = false;           // the text starts with EF BB BF

    // The value of `name` (exact case) as the installer takes it: the last
    // line that gives it wins. Null when no line does.
    const std::string* Find(std::string_view name) const;
};

AttributeList ParseJad(std::string_view text);
AttributeList ParseManifest(std::string_view text);

// What each reader takes as a key.
bool IsJadKey(std::string_view name);
bool IsManifestKey(std::string_view name);  // [A-Za-z0-9][A-Za-z0-9_-]*

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

// `text` with every byte sequence that is not UTF-8 replaced by U+FFFD, as
// the installer's decoder does.
std::string ReplaceInvalidUtf8(std::string_view text);

// The number of characters (code points) of UTF-8 text.
std::size_t Utf8Length(std::string_view text);

}  // namespace midlet
