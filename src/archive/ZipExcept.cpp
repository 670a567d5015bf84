#include "archive/ZipExcept.h"

#include <cstdio>

#include "archive/Component.h"
#include "archive/ZipConst.h"

namespace archive {

namespace {

std::string ArgText(const FormatArg& arg) {
    if (const auto* text = std::get_if<std::string>(&arg)) {
        return *text;
    }
    return std::to_string(std::get<std::int64_t>(arg));
}

// The code as "%5d" with every space turned into "0": 32 gives "00032".
std::string PaddedCode(int code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%5d", code);
    std::string text = buffer;
    for (char& c : text) {
        if (c == ' ') {
            c = '0';
        }
    }
    return text;
}

}  // namespace

std::string FormatZipMessage(const std::string& text, const std::vector<FormatArg>& args) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '%' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const char kind = text[i + 1];
        if (kind == '%') {
            out += '%';
            ++i;
        } else if ((kind == 's' || kind == 'd') && next < args.size()) {
            out += ArgText(args[next++]);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string ComposeZipMessage(int nativeError, const TComponent* archiver,
                              const std::vector<FormatArg>& args) {
    // The text of the paired index, formatted when arguments are given.
    std::string text = ZipMessageText(ZipErrorCodeOf(nativeError));
    if (!args.empty()) {
        text = FormatZipMessage(text, args);
    }
    // The component's name in front, when it has one.
    if (archiver != nullptr && !archiver->Name.empty()) {
        text = archiver->Name + ": " + text;
    }
    // The native error, zero-padded to five places.
    return text + " - Native error: " + PaddedCode(nativeError);
}

EZipException::EZipException(int nativeError, const TComponent* archiver)
    : platform::Exception(ComposeZipMessage(nativeError, archiver, {})),
      ErrorCode(ZipErrorCodeOf(nativeError)),
      NativeError(nativeError) {}

EZipException::EZipException(int nativeError, const TComponent* archiver,
                             std::initializer_list<FormatArg> args)
    : platform::Exception(ComposeZipMessage(nativeError, archiver, args)),
      ErrorCode(ZipErrorCodeOf(nativeError)),
      NativeError(nativeError) {}

}  // namespace archive
