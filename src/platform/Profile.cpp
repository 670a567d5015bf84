// Profile strings: reading and writing one key of an INI file.
#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/ProfileReplace.h"

namespace platform {

namespace {

struct IniLine {
    std::string text;                    // the line without its line end
    std::optional<std::string> section;  // the name of a section line
    std::optional<std::string> key;      // the name of a key line
    std::string value;                   // the value of a key line, spaces trimmed
};

std::string Trim(std::string_view text) {
    std::size_t start = 0;
    std::size_t end = text.size();
    while (start < end && (text[start] == ' ' || text[start] == '\t')) {
        ++start;
    }
    while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t')) {
        --end;
    }
    return std::string(text.substr(start, end - start));
}

IniLine ParseLine(std::string text) {
    IniLine line;
    std::string trimmed = Trim(text);
    if (!trimmed.empty() && trimmed.front() == '[') {
        std::size_t close = trimmed.find(']');
        line.section =
            Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    } else if (std::size_t equals = text.find('='); equals != std::string::npos) {
        line.key = Trim(std::string_view(text).substr(0, equals));
        line.value = Trim(std::string_view(text).substr(equals + 1));
    }
    line.text = std::move(text);
    return line;
}

// Lines end at LF; a CR before the LF belongs to the line end.
std::vector<IniLine> ParseText(const std::string& content) {
    std::vector<IniLine> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        std::size_t next = end == std::string::npos ? content.size() : end + 1;
        std::size_t stop = end == std::string::npos ? content.size() : end;
        if (stop > start && content[stop - 1] == '\r') {
            --stop;
        }
        lines.push_back(ParseLine(content.substr(start, stop - start)));
        start = next;
    }
    return lines;
}

// The whole file; false when it cannot be read (last error set).
bool ReadWholeFile(const std::string& path, std::string& content) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            SetLastError(ErrorFromErrno(errno));
            close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return true;
}

std::optional<std::size_t> FindSection(const std::vector<IniLine>& lines,
                                       const std::string& section) {
    const std::string wanted = Trim(section);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].section && SameInvariantText(*lines[i].section, wanted)) {
            return i;
        }
    }
    return std::nullopt;
}

// The line after the last line of the section that starts at `header`.
std::size_t SectionEnd(const std::vector<IniLine>& lines, std::size_t header) {
    std::size_t end = header + 1;
    while (end < lines.size() && !lines[end].section) {
        ++end;
    }
    return end;
}

std::optional<std::size_t> FindKey(const std::vector<IniLine>& lines, std::size_t header,
                                   const std::string& key) {
    const std::string wanted = Trim(key);
    const std::size_t end = SectionEnd(lines, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines[i].key && SameInvariantText(*lines[i].key, wanted)) {
            return i;
        }
    }
    return std::nullopt;
}

// The last line of the section at `header` that is not empty (the header
// itself when every line is).
std::size_t LastFilledLine(const std::vector<IniLine>& lines, std::size_t header) {
    std::size_t last = header;
    const std::size_t end = SectionEnd(lines, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (!Trim(lines[i].text).empty()) {
            last = i;
        }
    }
    return last;
}

std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// At most `size` - 1 characters; a UTF-8 character is never cut in two.
std::string Truncate(std::string text, std::size_t size) {
    std::size_t limit = size == 0 ? 0 : size - 1;
    if (text.size() <= limit) {
        return text;
    }
    if (GetACP() == CP_UTF8) {
        while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) {
            --limit;
        }
    }
    text.resize(limit);
    return text;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The folder part of a path, with its trailing '/'; empty for a bare name.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Follows symbolic links from `path` until it names no link (or nothing);
// a relative link is taken from the link's folder. 0, or the code of a
// link that cannot be read or of too many links in a row.
DWORD FollowLinks(std::string& path) {
    constexpr int kMaxLinks = 40;
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return ERROR_SUCCESS;
        }
        std::string link(4096, '\0');
        const ssize_t length = readlink(path.c_str(), link.data(), link.size());
        if (length < 0) {
            return ErrorFromErrno(errno);
        }
        link.resize(static_cast<std::size_t>(length));
        path = !link.empty() && link.front() == '/' ? link : FolderOf(path) + link;
    }
    return ErrorFromErrno(ELOOP);
}

// The key replaced where it stands, or added to its section, or the section
// added at the end.
void SetValue(std::vector<IniLine>& lines, const ProfileString& write) {
    const std::string trimmedKey = Trim(write.key);
    const std::optional<std::size_t> header = FindSection(lines, write.section);
    if (!header) {
        // Built by appending: "[" + a temporary string makes GCC 12 see an
        // overlapping copy that cannot happen (-Wrestrict at -O3).
        std::string sectionLine = "[";
        lines.push_back(ParseLine(sectionLine.append(Trim(write.section)).append("]")));
        lines.push_back(ParseLine(trimmedKey + "=" + write.value));
    } else if (std::optional<std::size_t> found = FindKey(lines, *header, write.key)) {
        lines[*found] = ParseLine(*lines[*found].key + "=" + write.value);
    } else {
        const std::size_t after = LastFilledLine(lines, *header);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after + 1),
                     ParseLine(trimmedKey + "=" + write.value));
    }
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, std::size_t size,
                                    const std::string& fileName) {
    ResolvedPath target = Resolve(fileName);
    std::string content;
    struct stat info;
    if (!target.exists || !StatTarget(target, info) || S_ISDIR(info.st_mode) ||
        !ReadWholeFile(target.path, content)) {
        return Truncate(defaultValue, size);
    }
    std::vector<IniLine> lines = ParseText(content);
    std::optional<std::size_t> header = FindSection(lines, section);
    std::optional<std::size_t> found = header ? FindKey(lines, *header, key) : std::nullopt;
    if (!found) {
        return Truncate(defaultValue, size);
    }
    return Truncate(Unquote(lines[*found].value), size);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName) {
    return WritePrivateProfileStrings({{section, key, value}}, fileName);
}

bool WritePrivateProfileStrings(const std::vector<ProfileString>& writes,
                                const std::string& fileName) {
    // A line break in a name or value would write lines of their own,
    // which later read as other keys.
    for (const ProfileString& write : writes) {
        if (HasLineBreak(write.section) || HasLineBreak(write.key) || HasLineBreak(write.value)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
    }
    // The file that is written: a symbolic link is followed, so that the
    // link stays and what it points at gets the new content.
    ResolvedPath target = Resolve(fileName);
    std::string path = target.path;
    if (target.exists) {
        if (DWORD error = FollowLinks(path); error != ERROR_SUCCESS) {
            SetLastError(error);
            return false;
        }
    }
    // The old content, or none for a new file.
    std::string content;
    std::optional<mode_t> mode;  // a new file gets the mode of a new file
    struct stat info;
    if (StatPath(path, info)) {
        if (S_ISDIR(info.st_mode) || IsReadOnlyMode(info.st_mode)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        if (!ReadWholeFile(path, content)) {
            return false;
        }
        mode = info.st_mode & 07777;
    } else if (DWORD error = CheckCreatable(target); error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    } else if (const std::string folder = FolderOf(path);
               !StatPath(folder.empty() ? "." : folder, info) || !S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    std::vector<IniLine> lines = ParseText(content);
    for (const ProfileString& write : writes) {
        SetValue(lines, write);
    }
    // Every line with CR LF, in one replace of the whole file.
    std::string text;
    for (const IniLine& line : lines) {
        text += line.text;
        text += "\r\n";
    }
    if (DWORD error = ReplaceWholeFile(path, text, mode); error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    return true;
}

}  // namespace platform
