// The runtime's text files: lines of bytes, CR LF on write, and the reading
// rules for LF, CR and Ctrl-Z.
#include "platform/TextFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/Faults.h"
#include "platform/FileSystem.h"

namespace platform {

namespace {

constexpr int kCtrlZ = 26;
constexpr long kAppendTailSize = 128;
constexpr DWORD kFileNotOpenForInput = 104;
constexpr DWORD kFileNotOpenForOutput = 105;

// The runtime reports a write that runs out of space as its own 101.
DWORD TextWriteCode(DWORD code) {
    return code == ERROR_DISK_FULL ? RUNTIME_DISK_FULL : code;
}

// An old text file may end in Ctrl-Z; appending starts at the first one in
// its last 128 bytes, so the new lines are not hidden behind it. The tail is
// read past the stream, which stays at the end of the file unless it is cut.
void DropTrailingCtrlZ(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        RaiseInOutError(ErrorFromErrno(errno));
    }
    const long size = std::ftell(file);
    if (size <= 0) {
        return;
    }
    const long start = size > kAppendTailSize ? size - kAppendTailSize : 0;
    char tail[kAppendTailSize];
    const ssize_t got = pread(fileno(file), tail, static_cast<std::size_t>(size - start), start);
    if (got < 0) {
        RaiseInOutError(ErrorFromErrno(errno));
    }
    const void* mark = std::memchr(tail, kCtrlZ, static_cast<std::size_t>(got));
    if (mark == nullptr) {
        return;
    }
    const long at = start + (static_cast<const char*>(mark) - tail);
    if (ftruncate(fileno(file), at) != 0 || std::fseek(file, at, SEEK_SET) != 0) {
        RaiseInOutError(ErrorFromErrno(errno));
    }
}

// Refuses, before anything is opened, a folder, a read-only file for
// output, a missing file unless it is created, and a name that cannot be
// created.
void CheckOpenAllowed(const ResolvedPath& target, bool creates, bool writes) {
    struct stat info;
    if (target.exists && StatTarget(target, info)) {
        if (S_ISDIR(info.st_mode) || (writes && IsReadOnlyMode(info.st_mode))) {
            RaiseInOutError(ERROR_ACCESS_DENIED);
        }
    } else if (!creates) {
        RaiseInOutError(MissingCode(target));
    } else if (DWORD error = CheckCreatable(target); error != ERROR_SUCCESS) {
        RaiseInOutError(error);
    } else if (!target.parentIsFolder) {
        RaiseInOutError(ERROR_PATH_NOT_FOUND);
    }
}

}  // namespace

TextFile::~TextFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void TextFile::Open(const std::string& path, const char* how, Mode mode) {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
        mode_ = Mode::Closed;
    }
    cutOnClose_ = false;
    const ResolvedPath target = Resolve(path);
    CheckOpenAllowed(target, how[0] == 'w', mode == Mode::Output);
    OwnNameChange making(target.path);
    std::FILE* file = std::fopen(target.path.c_str(), how);
    if (file == nullptr) {
        RaiseInOutError(CodeForErrno(errno, target));
    }
    // A buffer of our own spares the stream asking the system for the
    // file's block size; were it refused, the stream's own would serve.
    if (!buffer_) {
        buffer_ = std::make_unique<char[]>(kBufferSize);
    }
    (void)std::setvbuf(file, buffer_.get(), _IOFBF, kBufferSize);
    if (!target.exists) {
        NoteNameCreated(target.path);
    }
    file_ = file;
    mode_ = mode;
    ended_ = false;
    path_ = target.path;
}

void TextFile::Reset(const std::string& path) {
    Open(path, "rbe", Mode::Input);
}

void TextFile::Rewrite(const std::string& path) {
    Open(path, "wbe", Mode::Output);
}

void TextFile::Append(const std::string& path) {
    Open(path, "r+be", Mode::Output);
    DropTrailingCtrlZ(file_);
}

void TextFile::Overwrite(const std::string& path) {
    Open(path, "r+be", Mode::Output);
    cutOnClose_ = true;
}

void TextFile::Close() {
    if (file_ == nullptr) {
        return;
    }
    std::FILE* file = file_;
    const bool cut = std::exchange(cutOnClose_, false);
    file_ = nullptr;
    mode_ = Mode::Closed;
    // Every write is flushed as it is made, so the position is where the
    // text ends.
    const long end = cut ? std::ftell(file) : 0;
    const bool wasCut = !cut || (end >= 0 && ftruncate(fileno(file), end) == 0);
    const int err = errno;
    if (std::fclose(file) != 0) {
        RaiseInOutError(TextWriteCode(ErrorFromErrno(errno)));
    }
    if (!wasCut) {
        RaiseInOutError(TextWriteCode(ErrorFromErrno(err)));
    }
}

int TextFile::Peek() {
    int c = std::getc(file_);
    if (c == EOF) {
        if (std::ferror(file_)) {
            RaiseInOutError(ErrorFromErrno(errno));
        }
        return EOF;
    }
    std::ungetc(c, file_);
    return c;
}

bool TextFile::Eof() {
    if (mode_ != Mode::Input || ended_) {
        return true;
    }
    // Every line is read whole, so the next byte always starts a line.
    int c = Peek();
    if (c == kCtrlZ) {
        ended_ = true;
    }
    return c == EOF || ended_;
}

std::string TextFile::ReadLn() {
    if (mode_ != Mode::Input) {
        RaiseInOutError(kFileNotOpenForInput);
    }
    std::string line;
    if (Eof()) {
        return line;
    }
    for (;;) {
        int c = std::getc(file_);
        if (c == EOF) {
            if (std::ferror(file_)) {
                RaiseInOutError(ErrorFromErrno(errno));
            }
            break;
        }
        if (c == '\n') {
            break;
        }
        if (c == '\r') {
            if (Peek() == '\n') {
                std::getc(file_);
                break;
            }
            continue;  // a lone CR is dropped
        }
        if (c == kCtrlZ) {
            // Inside a line, Ctrl-Z ends it; the rest of the physical line
            // is skipped.
            while ((c = std::getc(file_)) != EOF && c != '\n') {
            }
            break;
        }
        line += static_cast<char>(c);
    }
    return line;
}

void TextFile::Put(std::string_view text) {
    if (mode_ != Mode::Output) {
        RaiseInOutError(kFileNotOpenForOutput);
    }
    if (FaultFires(FaultPoint::TextWrite)) {
        RaiseInOutError(TextWriteCode(GetLastError()));
    }
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) {
        RaiseInOutError(TextWriteCode(ErrorFromErrno(errno)));
    }
}

void TextFile::WriteLn(std::string_view line) {
    std::string text(line);
    text += "\r\n";
    Put(text);
}

void TextFile::Write(std::string_view text) {
    Put(text);
}

std::vector<std::string> ReadAllLines(const std::string& path) {
    TextFile file;
    file.Reset(path);
    std::vector<std::string> lines;
    while (!file.Eof()) {
        lines.push_back(file.ReadLn());
    }
    file.Close();
    return lines;
}

std::vector<std::string> SplitTextLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    // Every line is taken whole, so `pos` always starts a line here.
    while (pos < text.size() && text[pos] != kCtrlZ) {
        std::string line;
        while (pos < text.size()) {
            const char c = text[pos++];
            if (c == '\n') {
                break;
            }
            if (c == '\r') {
                if (pos < text.size() && text[pos] == '\n') {
                    ++pos;
                    break;
                }
                continue;  // a lone CR is dropped
            }
            if (c == kCtrlZ) {
                // Inside a line, Ctrl-Z ends it with the rest of the
                // physical line.
                const std::size_t end = text.find('\n', pos);
                pos = end == std::string_view::npos ? text.size() : end + 1;
                break;
            }
            line += c;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string JoinTextLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace platform
