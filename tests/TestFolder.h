// A fresh folder under /tmp for one test, removed with all it holds when the
// test ends. Path() ends with '/'. Every layer's tests use this one fixture;
// a layer adds at most its own helpers on top.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

class TestFolder {
  public:
    TestFolder() {
        char pattern[] = "/tmp/quellor-test-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("cannot make a test folder");
        }
        path_ = std::string(pattern) + "/";
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

  private:
    std::string path_;
};
