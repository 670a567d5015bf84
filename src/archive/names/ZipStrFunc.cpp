#include "archive/names/ZipStrFunc.h"

#include "platform/CodePage.h"

namespace archive {

std::string ReplaceChar(std::string_view text, char from, char to) {
    std::string result(text);
    for (char& c : result) {
        if (c == from) {
            c = to;
        }
    }
    return result;
}

std::string ExcludeTrailingSlash(std::string_view text) {
    if (!text.empty() && (text.back() == '/' || text.back() == '\\')) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string LastNameComponent(std::string_view text) {
    const std::size_t slash = text.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? text : text.substr(slash + 1));
}

std::string ExtractFolderPart(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtensionOfBackslashPath(std::string_view name) {
    const std::size_t at = name.find_last_of(".\\:");
    if (at == std::string_view::npos || name[at] != '.') {
        return {};
    }
    return std::string(name.substr(at));
}

std::string ExtractFileDrive(std::string_view path) {
    // A drive letter: the second character is ":" (the first may be any
    // character, so it is stepped over as one code point).
    if (path.empty()) {
        return {};
    }
    std::size_t pos = 0;
    platform::DecodeUtf8(path, pos);
    if (pos < path.size() && path[pos] == ':') {
        return std::string(path.substr(0, pos + 1));
    }
    // \\server\share: up to the separator after the share name.
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        const std::size_t server = path.find('\\', 2);
        if (server == std::string_view::npos) {
            return std::string(path);
        }
        const std::size_t share = path.find('\\', server + 1);
        return std::string(path.substr(0, share));
    }
    return {};
}

}  // namespace archive
