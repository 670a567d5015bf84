// The runtime's line-oriented text files, byte for byte, no decoding.
// Reading: a line ends at LF; a CR right before the LF is not part of it; a
// lone CR is dropped; a last line without line end counts; Ctrl-Z (26) at the
// start of a line ends the text, inside a line it ends that line (the rest
// of the physical line is skipped). Writing: every line is followed by CR LF.
// Every failure raises EInOutError (2 missing, 3 missing folder, 5 read-only,
// 101 disk full).
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Errors.h"

namespace platform {

class TextFile {
  public:
    TextFile() = default;
    ~TextFile();  // closes without raising
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    void Reset(const std::string& path);    // open for reading
    void Rewrite(const std::string& path);  // create anew, replacing an old file
    // Open for appending (must exist); writing starts at a Ctrl-Z in the
    // last 128 bytes, as the runtime does, so new lines are not hidden.
    void Append(const std::string& path);
    // Open a file that exists for writing from its start; Close cuts it
    // where the writing ended. The file ends up as Rewrite leaves it, but
    // the blocks it holds are written over rather than freed and taken
    // again: on a disk that is told of every freed block, each free is a
    // wait for the device.
    void Overwrite(const std::string& path);
    void Close();  // raises when flushing fails, or cutting the file

    // Reading. Eof() is true when no further line can be read.
    bool Eof();
    std::string ReadLn();

    // Writing: the text, then CR LF.
    void WriteLn(std::string_view line);
    void Write(std::string_view text);

    bool IsOpen() const { return file_ != nullptr; }

  private:
    enum class Mode { Closed, Input, Output };
    int Peek();
    void Open(const std::string& path, const char* how, Mode mode);
    void Put(std::string_view text);
    static constexpr std::size_t kBufferSize = 4096;
    std::unique_ptr<char[]> buffer_;  // the open file's; outlives it
    std::FILE* file_ = nullptr;
    Mode mode_ = Mode::Closed;
    bool ended_ = false;  // Ctrl-Z at the start of a line was met
    bool cutOnClose_ = false;
    std::string path_;
};

// Convenience: every line of a text file under the reading rules above.
std::vector<std::string> ReadAllLines(const std::string& path);

// The lines of text held in memory, under the same reading rules: what
// ReadAllLines gives for a file of these bytes.
std::vector<std::string> SplitTextLines(std::string_view text);
// The lines each followed by CR LF, as WriteLn writes them.
std::string JoinTextLines(const std::vector<std::string>& lines);

}  // namespace platform
