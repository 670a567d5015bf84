// String and path helpers of the archive engine. Entry names use "/" between
// folders; paths on the Windows side use "\". All text is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace archive {

// `text` with every `from` replaced by `to`.
std::string ReplaceChar(std::string_view text, char from, char to);

// `text` without one trailing "/" or "\" (when it has one).
std::string ExcludeTrailingSlash(std::string_view text);

// The part after the last "/" or "\"; the whole text when it has neither.
std::string LastNameComponent(std::string_view text);

// The folder part of a path with "\" separators: up to and including the
// last "\"; empty when there is none.
std::string ExtractFolderPart(std::string_view path);

// The extension of a name with "\" separators: from the last "." on, when no
// "\" or ":" follows that dot; empty otherwise. A "/" is part of the name
// here, unlike in platform::ExtractFileExt.
std::string ExtensionOfBackslashPath(std::string_view name);

// The drive part of a path: its first two characters when the second is ":",
// or a leading network prefix \\server\share; empty otherwise.
std::string ExtractFileDrive(std::string_view path);

}  // namespace archive
