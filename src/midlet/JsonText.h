// Text written as a JSON string, for every JSON the program writes.
#pragma once

#include <string>
#include <string_view>

namespace midlet {

// What becomes of bytes that are not UTF-8: each invalid sequence replaced
// by U+FFFD, or, in text that is not UTF-8 as a whole, every byte above
// ASCII kept as the code point of the same number (\u00XX), so that a
// reader can still tell which bytes a name held.
enum class NonUtf8 { Replaced, BytesKept };

// The text in quotes, with quotes, backslashes and control characters
// escaped.
std::string JsonString(std::string_view text, NonUtf8 nonUtf8 = NonUtf8::Replaced);
// The same, or null for an empty text.
std::string JsonStringOrNull(std::string_view text, NonUtf8 nonUtf8 = NonUtf8::Replaced);

}  // namespace midlet
