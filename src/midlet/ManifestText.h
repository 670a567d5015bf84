// The text rules that turn a MIDlet suite's manifest into the manifest put
// back into the JAR and the JAD beside it: the name pass, the descriptor pass
// and the JAD tail. Lines are byte strings without their line ends; nothing is
// decoded and every length counts bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "midlet/Session.h"

namespace midlet {

// The fixed address that replaces the value of every MIDlet-Info-URL line.
inline constexpr const char* kInfoAddress = "http://javaphone-forum.example.net/";

inline constexpr std::size_t kCleanedNameLength = 15;
inline constexpr std::size_t kProjectNameLength = 9;

// True for the 17 bytes that the name pass removes from a MIDlet name:
// space ! ( ) * , . / : ; < > ? [ \ ] ~
bool IsDroppedNameChar(unsigned char c);

// The MIDlet-Name value without the dropped bytes, cut to 15 bytes.
std::string CleanMidletName(std::string_view value);

// The longest start of `text` of at most `budget` bytes that does not end
// inside a character of the ANSI code page (in UTF-8, a byte that starts no
// valid sequence counts as a character of its own).
std::string CutToCharacters(std::string_view text, std::size_t budget);

// The project name: the first 9 bytes of the cleaned MIDlet name, cut back
// to a character boundary.
std::string ProjectNameOf(const std::string& cleanedName);

// True for a line that contains "MIDlet-Name:".
bool IsNameLine(const std::string& line);

// True for a MIDlet-Jar-Size or MIDlet-Jar-URL line (the attribute name
// without regard to case), which only the JAD tail may state.
bool IsJadTailLine(const std::string& line);

// Name pass over one line: a line that contains "MIDlet-Name:" sets
// state.cleanedName and comes back as "MIDlet-Name: " + that name; any other
// line comes back unchanged. The value starts after the first colon, and
// after one space when one follows it.
std::string NamePassLine(const std::string& line, ProgramState& state);

// Name pass over a whole manifest: as many lines as it was given.
std::vector<std::string> NamePass(const std::vector<std::string>& lines, ProgramState& state);

// Descriptor pass over one line: the line to write, or nothing when the
// simple kind drops it. A line that contains "MIDlet-1:" is rewritten and
// sets `iconPath` (the icon field starts after the first comma, and after
// one space when one follows it); a MIDlet-Info-URL line gets the information address. The
// caller starts each manifest with an empty `iconPath`.
std::optional<std::string> DescriptorPassLine(const std::string& line, JadKind jadKind,
                                              const std::string& cleanedName,
                                              std::string& iconPath);

// Descriptor pass over a whole manifest. `iconPath` is emptied first and
// ends as the icon field of the last MIDlet-1 line, without a leading "/".
// The full kind leaves out MIDlet-Jar-Size and MIDlet-Jar-URL lines (and
// their continuation lines): the JAD tail states them.
std::vector<std::string> DescriptorPass(const std::vector<std::string>& lines, JadKind jadKind,
                                        const std::string& cleanedName, std::string& iconPath);

// The lines of a JAD made from manifest lines: a manifest line that starts
// with one space continues the one before, which a JAD line cannot do, so
// each such line is joined to its attribute's line (without the space).
std::vector<std::string> JoinContinuationLines(const std::vector<std::string>& lines);

// The two lines appended to a full JAD once its JAR is final.
std::vector<std::string> JadTail(std::uint32_t jarSize, const std::string& projectName);

}  // namespace midlet
