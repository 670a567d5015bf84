// Text as every JSON the program writes has it: what must be escaped is,
// and bytes that are not UTF-8 are replaced or kept, as the caller asks.
#include <gtest/gtest.h>

#include <string>

#include "midlet/JsonText.h"

namespace {

using midlet::NonUtf8;

struct JsonCase {
    const char* what;
    std::string text;
    std::string replaced;   // NonUtf8::Replaced
    std::string bytesKept;  // NonUtf8::BytesKept
};

TEST(JsonText, EscapesWhatJsonForbidsAndTreatsOtherBytesAsAsked) {
    const JsonCase cases[] = {
        {"plain", "Games.jar", "\"Games.jar\"", "\"Games.jar\""},
        {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\"", "\"a\\\"b\\\\c\""},
        {"line ends and tab", "a\r\n\tb", "\"a\\r\\n\\tb\"", "\"a\\r\\n\\tb\""},
        {"other controls and DEL", std::string("a\x01\x1f\x7f", 4), "\"a\\u0001\\u001f\\u007f\"",
         "\"a\\u0001\\u001f\\u007f\""},
        {"NUL", std::string("a\0b", 3), "\"a\\u0000b\"", "\"a\\u0000b\""},
        {"UTF-8 kept", "\xd0\x98\xd0\xb3\xd1\x80\xd1\x8b", "\"\xd0\x98\xd0\xb3\xd1\x80\xd1\x8b\"",
         "\"\xd0\x98\xd0\xb3\xd1\x80\xd1\x8b\""},
        {"code page 1251", "\xc8\xe3\xf0\xfb",
         "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"",
         "\"\\u00c8\\u00e3\\u00f0\\u00fb\""},
        // One stray byte among UTF-8: only it is replaced, but every byte
        // above ASCII is kept as its number, the valid ones too.
        {"mixed", "\xc3\xa9\xff", "\"\xc3\xa9\xef\xbf\xbd\"", "\"\\u00c3\\u00a9\\u00ff\""},
        {"empty", "", "\"\"", "\"\""},
    };
    for (const JsonCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(midlet::JsonString(c.text), c.replaced);
        EXPECT_EQ(midlet::JsonString(c.text, NonUtf8::BytesKept), c.bytesKept);
    }
    EXPECT_EQ(midlet::JsonStringOrNull(""), "null");
    EXPECT_EQ(midlet::JsonStringOrNull("x", NonUtf8::BytesKept), "\"x\"");
}

}  // namespace
