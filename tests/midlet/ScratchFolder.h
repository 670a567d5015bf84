// The test folder of the midlet tests, with helpers that take paths relative
// to it. Its path ends with "/", like the program folder.
#pragma once

#include <filesystem>
#include <string>

#include "TestFiles.h"
#include "TestFolder.h"

namespace midlet {

class ScratchFolder : public TestFolder {
  public:
    void MakeFolder(const std::string& relative) const {
        std::filesystem::create_directories(*this / relative);
    }

    void WriteBytes(const std::string& relative, const std::string& bytes) const {
        ::WriteBytes(*this / relative, bytes);
    }

    // The file's bytes; empty when it is missing.
    std::string ReadBytes(const std::string& relative) const {
        return ::ReadBytes(*this / relative);
    }

    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(*this / relative);
    }
};

}  // namespace midlet
