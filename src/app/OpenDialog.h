// The open-file dialog `opa` of step 1. The form talks to it through this
// interface so that tests can stand in for the user's choice.
#pragma once

#include <string>
#include <vector>

namespace app {

class IOpenDialog {
  public:
    virtual ~IOpenDialog() = default;

    // Shows the dialog. True when the user chose files: Files then lists
    // their full paths, and FileName is the first of them.
    virtual bool Execute() = 0;

    std::string InitialDir;  // where the dialog opens while FileName is empty
    std::string FileName;    // the last file chosen; kept between uses
    std::vector<std::string> Files;
};

// The real dialog: filter "JAR files|*.jar|all files|*.*", several files at
// once, resizable. It opens in the folder of its last file name, else in
// InitialDir, else in the system's default folder.
class QtOpenDialog : public IOpenDialog {
  public:
    bool Execute() override;
};

}  // namespace app
