#include "BatchInputs.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <istream>
#include <system_error>

namespace tools {

namespace fs = std::filesystem;

namespace {

std::string Why(const std::error_code& error) {
    return error.message();
}

// A directory entry that is a JAR file: the name, and the entry (or what a
// link points to) a regular file.
bool IsJarFile(const fs::directory_entry& entry) {
    std::error_code error;
    return HasJarExtension(entry.path().filename().string()) && entry.is_regular_file(error);
}

template <class Iterator>
std::vector<std::string> JarsBelow(Iterator entries, const std::string& folder) {
    std::vector<std::string> jars;
    std::error_code error;
    for (const Iterator end; entries != end; entries.increment(error)) {
        if (error) {
            break;
        }
        if (IsJarFile(*entries)) {
            jars.push_back(entries->path().string());
        }
    }
    if (error) {
        throw InputError(folder + ": the folder cannot be read: " + Why(error));
    }
    return jars;
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

void AddPath(const std::string& path, const ListingOptions& options,
             std::vector<std::string>& jars) {
    if (!IsFolder(path)) {
        jars.push_back(path);
        return;
    }
    const std::vector<std::string> found = JarsInFolder(path, options.recursive);
    jars.insert(jars.end(), found.begin(), found.end());
}

std::vector<std::string> PathsInListNamed(const std::string& name, bool nulSeparated,
                                          std::istream& standardInput) {
    if (name == "-") {
        std::vector<std::string> paths = PathsInList(standardInput, nulSeparated);
        if (standardInput.bad()) {
            throw InputError("standard input cannot be read");
        }
        return paths;
    }
    if (IsFolder(name)) {
        throw InputError(name + ": the list of JARs cannot be read: it is a folder");
    }
    std::ifstream file(name, std::ios::binary);
    if (!file) {
        throw InputError(name + ": the list of JARs cannot be read: " +
                         Why(std::error_code(errno, std::generic_category())));
    }
    std::vector<std::string> paths = PathsInList(file, nulSeparated);
    if (file.bad()) {
        throw InputError(name + ": the list of JARs cannot be read");
    }
    return paths;
}

}  // namespace

bool HasJarExtension(const std::string& name) {
    static const std::string kExtension = ".jar";
    if (name.size() <= kExtension.size()) {
        return false;
    }
    return std::equal(kExtension.begin(), kExtension.end(), name.end() - kExtension.size(),
                      [](char want, char c) {
                          return want ==
                                 (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
                      });
}

std::vector<std::string> JarsInFolder(const std::string& folder, bool recursive) {
    std::error_code error;
    std::vector<std::string> jars;
    if (recursive) {
        jars = JarsBelow(fs::recursive_directory_iterator(folder, error), folder);
    } else {
        jars = JarsBelow(fs::directory_iterator(folder, error), folder);
    }
    if (error) {
        throw InputError(folder + ": the folder cannot be read: " + Why(error));
    }
    std::sort(jars.begin(), jars.end());
    return jars;
}

std::vector<std::string> PathsInList(std::istream& in, bool nulSeparated) {
    std::vector<std::string> paths;
    const char end = nulSeparated ? '\0' : '\n';
    for (std::string path; std::getline(in, path, end);) {
        if (!nulSeparated && !path.empty() && path.back() == '\r') {
            path.pop_back();
        }
        if (!path.empty()) {
            paths.push_back(path);
        }
    }
    return paths;
}

std::vector<std::string> CollectJars(const std::vector<BatchInput>& inputs,
                                     const ListingOptions& options, std::istream& standardInput) {
    std::vector<std::string> jars;
    for (const BatchInput& input : inputs) {
        if (input.kind == BatchInput::Kind::Path) {
            AddPath(input.text, options, jars);
            continue;
        }
        for (const std::string& path :
             PathsInListNamed(input.text, options.nulSeparated, standardInput)) {
            AddPath(path, options, jars);
        }
    }
    return jars;
}

}  // namespace tools
