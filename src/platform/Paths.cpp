// Path helpers over both separators, the program folder, and the names a
// FAT card can hold.
#include "platform/Paths.h"

#include <unistd.h>

#include <mutex>

namespace platform {

namespace {

std::mutex programFolderMutex;
std::string programFolderOverride;

bool IsDriveOrDelimiter(char c) {
    return IsPathDelimiter(c) || c == ':';
}

std::size_t LastDelimiter(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsDriveOrDelimiter(path[i - 1])) {
            return i - 1;
        }
    }
    return std::string_view::npos;
}

bool IsInvalidNameChar(unsigned char c) {
    return c <= 0x1F || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
           c == '*';
}

}  // namespace

std::string ExecutableFolder() {
    std::string buffer(4096, '\0');
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) {
        return "./";
    }
    buffer.resize(static_cast<std::size_t>(length));
    return buffer.substr(0, buffer.rfind('/') + 1);
}

std::string ProgramFolder() {
    {
        std::lock_guard lock(programFolderMutex);
        if (!programFolderOverride.empty()) {
            return programFolderOverride;
        }
    }
    return ProgramFolderFor(ExecutableFolder());
}

void SetProgramFolder(const std::string& folder) {
    std::lock_guard lock(programFolderMutex);
    programFolderOverride = folder.empty() ? "" : IncludeTrailingPathDelimiter(folder);
}

std::string ExtractFilePath(std::string_view path) {
    std::size_t at = LastDelimiter(path);
    return at == std::string_view::npos ? "" : std::string(path.substr(0, at + 1));
}

std::string ExtractFileName(std::string_view path) {
    std::size_t at = LastDelimiter(path);
    return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::string ExtractFileExt(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        char c = path[i - 1];
        if (c == '.') {
            return std::string(path.substr(i - 1));
        }
        if (IsDriveOrDelimiter(c)) {
            break;
        }
    }
    return "";
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string result(path);
    if (result.empty() || !IsPathDelimiter(result.back())) {
        result += PathDelim;
    }
    return result;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
    std::string result(path);
    if (!result.empty() && IsPathDelimiter(result.back())) {
        result.pop_back();
    }
    return result;
}

std::string NormalizeSeparators(std::string_view path) {
    std::string result(path);
    for (char& c : result) {
        if (c == '\\') {
            c = '/';
        }
    }
    return result;
}

std::vector<std::string> SplitComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsPathDelimiter(path[end])) {
            ++end;
        }
        if (end > start) {
            parts.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

std::string StripTrailingSpacesAndDots(std::string_view component) {
    if (component == "." || component == "..") {
        return std::string(component);
    }
    std::size_t end = component.size();
    while (end > 0 && (component[end - 1] == ' ' || component[end - 1] == '.')) {
        --end;
    }
    // A name of nothing but dots and spaces has nothing left to keep.
    return std::string(component.substr(0, end == 0 ? component.size() : end));
}

DWORD CheckNameComponent(std::string_view component) {
    if (component.size() > kMaxComponentLength) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    for (char c : component) {
        if (IsInvalidNameChar(static_cast<unsigned char>(c))) {
            return ERROR_INVALID_NAME;
        }
    }
    return ERROR_SUCCESS;
}

DWORD CheckNewPath(std::string_view path, std::string* cleaned) {
    std::string result;
    DWORD error = ERROR_SUCCESS;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsPathDelimiter(path[end])) {
            ++end;
        }
        std::string component = StripTrailingSpacesAndDots(path.substr(start, end - start));
        if (error == ERROR_SUCCESS) {
            error = CheckNameComponent(component);
        }
        result += component;
        if (end < path.size()) {
            result += PathDelim;
        }
        start = end + 1;
    }
    if (error == ERROR_SUCCESS && result.size() > kMaxPathLength) {
        error = ERROR_FILENAME_EXCED_RANGE;
    }
    if (cleaned != nullptr) {
        *cleaned = result;
    }
    return error;
}

}  // namespace platform
