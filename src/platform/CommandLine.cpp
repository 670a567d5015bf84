#include "platform/CommandLine.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/Paths.h"

namespace platform {

std::string GetCurrentDir() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) {
            return "./";
        }
        buffer.resize(buffer.size() * 2);
    }
    return IncludeTrailingPathDelimiter(buffer.data());
}

std::string ExpandFileName(std::string_view path) {
    const std::string joined = !path.empty() && IsPathDelimiter(path.front())
                                   ? std::string(path)
                                   : GetCurrentDir() + std::string(path);
    std::vector<std::string> components;
    for (const std::string& component : SplitComponents(joined)) {
        if (component == "..") {
            if (!components.empty()) {
                components.pop_back();
            }
        } else if (component != ".") {
            components.push_back(component);
        }
    }
    std::string full;
    for (const std::string& name : components) {
        full += PathDelim + name;
    }
    if (full.empty() || (!joined.empty() && IsPathDelimiter(joined.back()))) {
        full += PathDelim;
    }
    return full;
}

bool StdErrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

bool StdOutIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

}  // namespace platform
