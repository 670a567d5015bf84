// What the fuzz targets share: a dialog hook that answers every failure
// question with Ignore, a fresh scratch folder per input, and the input
// written to a file or split into lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Dialogs.h"

namespace fuzz {

// Failure questions of the archive engine: Ignore where offered, else the
// default button. Message boxes answer OK; the shell never opens anything.
class IgnoreDialogs : public platform::IDialogs {
  public:
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int MessageDlg(const std::string& text, platform::MsgDlgType kind,
                   platform::MsgDlgButtons buttons, platform::MsgDlgBtn defaultButton) override;
    bool ShellOpen(const std::string& path) override;
};

// Installs one IgnoreDialogs for the life of the process.
void InstallIgnoreDialogs();

// A new empty folder under the system's temporary folder, removed with all
// it holds when the object goes. Path() ends with '/'.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Writes the bytes as the whole content of a new file.
void WriteInputFile(const std::string& path, const std::uint8_t* data, std::size_t size);

// The whole content of a file.
std::string ReadInputFile(const std::string& path);

// The input as text.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Stops the process with a message: an oracle of a target found a wrong result.
[[noreturn]] void Fail(const std::string& what);

}  // namespace fuzz
