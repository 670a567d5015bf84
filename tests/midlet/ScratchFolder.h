// A fresh folder under the system's temporary folder for one test, removed
// with everything in it when the test ends. Its path ends with "/", like the
// program folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace midlet {

class ScratchFolder {
  public:
    ScratchFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "quellor-midlet-";
        name += info ? std::string(info->test_suite_name()) + "-" + info->name() : "test";
        name += "-" + std::to_string(std::random_device()());  // two builds may run at once
        root_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder with its trailing "/".
    std::string Path() const { return root_.string() + "/"; }

    void MakeFolder(const std::string& relative) const {
        std::filesystem::create_directories(root_ / relative);
    }

    void WriteBytes(const std::string& relative, const std::string& bytes) const {
        std::ofstream out(root_ / relative, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    // The file's bytes; empty when it is missing.
    std::string ReadBytes(const std::string& relative) const {
        std::ifstream in(root_ / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(root_ / relative);
    }

  private:
    std::filesystem::path root_;
};

}  // namespace midlet
