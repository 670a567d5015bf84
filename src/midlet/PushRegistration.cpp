#include "midlet/PushRegistration.h"

#include <algorithm>

#include "midlet/AttributeValues.h"

namespace midlet {

namespace {

constexpr int kPushFailure = 911;
constexpr int kMaxPort = 65535;

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return out;
}

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text.empty() ? "none" : text;
}

bool Fail(PushProblem& problem, int code, std::string message, std::string fix) {
    problem = {code, std::move(message), std::move(fix)};
    return false;
}

// "*" or four non-empty dot-separated groups of digits, "*" and "?".
bool IsAddressFilter(std::string_view filter) {
    if (filter == "*") {
        return true;
    }
    int groups = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= filter.size(); ++i) {
        if (i == filter.size() || filter[i] == '.') {
            if (i == start) {
                return false;
            }
            ++groups;
            start = i + 1;
        } else if (!(filter[i] >= '0' && filter[i] <= '9') && filter[i] != '*' &&
                   filter[i] != '?') {
            return false;
        }
    }
    return groups == 4;
}

bool IsPort(std::string_view text) {
    const auto port = ParseJavaInt(text);
    return port && text.front() != '-' && *port >= 1 && *port <= kMaxPort;
}

// socket:// and datagram:// take no host; socket needs a port.
bool CheckServerAddress(std::string_view connection, std::string_view scheme,
                        PushProblem& problem) {
    const std::string example = scheme == "socket" ? "socket://:5000" : "datagram://:5000";
    const std::string formatFix = "write the connection as " + example;
    std::string_view rest = connection.substr(scheme.size() + 1);
    if (connection.find(' ') != std::string_view::npos || rest.substr(0, 2) != "//") {
        return Fail(problem, kPushFailure,
                    "\"" + std::string(connection) + "\" is no " + std::string(scheme) +
                        " connection the phone reads",
                    formatFix);
    }
    rest.remove_prefix(2);
    const std::size_t colon = rest.find(':');
    if (!rest.substr(0, colon).empty()) {
        return Fail(problem, kPushFailure,
                    "a push connection listens on the phone and names no host",
                    "drop the host: " + formatFix);
    }
    const bool portNeeded = scheme == "socket";
    if (colon == std::string_view::npos ? portNeeded : !IsPort(rest.substr(colon + 1))) {
        return Fail(problem, kPushFailure, "no port from 1 to 65535", formatFix);
    }
    return true;
}

}  // namespace

bool CheckPushEntry(std::string_view value, const std::vector<std::string>& midletClasses,
                    const std::vector<std::string>& schemes, std::vector<std::string>& registered,
                    PushProblem& problem) {
    const std::size_t first = value.find(',');
    const std::size_t second = first == std::string_view::npos ? first : value.find(',', first + 1);
    if (second == std::string_view::npos) {
        return Fail(problem, 0,
                    "fewer than three comma-separated fields; the installer stops with an "
                    "internal error and shows no code",
                    "write it as connection, MIDlet class, allowed sender (socket://:5000, "
                    "com.example.Main, *)");
    }
    const std::string connection(TrimBlanks(value.substr(0, first)));
    const std::string className(TrimBlanks(value.substr(first + 1, second - first - 1)));
    const std::string filter(TrimBlanks(value.substr(second + 1)));
    if (className.empty() ||
        std::find(midletClasses.begin(), midletClasses.end(), className) == midletClasses.end()) {
        return Fail(problem, kPushFailure,
                    className.empty() ? "no MIDlet class"
                                      : "class " + className + " is no MIDlet of this suite",
                    "name the class of one of the suite's MIDlet-n attributes");
    }
    const std::size_t colon = connection.find(':');
    if (colon == std::string::npos || colon == 0) {
        return Fail(problem, kPushFailure, "\"" + connection + "\" is no connection",
                    "write the connection as scheme:address, such as socket://:5000");
    }
    const std::string scheme = Lower(std::string_view(connection).substr(0, colon));
    if (std::none_of(schemes.begin(), schemes.end(),
                     [&](const std::string& s) { return Lower(s) == scheme; })) {
        return Fail(
            problem, kPushFailure,
            "the device registers no " + scheme + " push connections (it takes " + Joined(schemes) +
                ")",
            "use a scheme the phone takes, or choose a device profile that takes " + scheme);
    }
    if ((scheme == "socket" || scheme == "datagram") && !IsAddressFilter(filter)) {
        return Fail(problem, kPushFailure,
                    "the allowed sender \"" + filter + "\" is no address filter",
                    "give the allowed sender as * or four dot-separated groups such as "
                    "192.168.*.*");
    }
    if ((scheme == "socket" || scheme == "datagram") &&
        !CheckServerAddress(connection, scheme, problem)) {
        return false;
    }
    if (std::find(registered.begin(), registered.end(), connection) != registered.end()) {
        return Fail(problem, kPushFailure, "the connection " + connection + " is registered twice",
                    "give each MIDlet-Push-n a connection of its own");
    }
    registered.push_back(connection);
    return true;
}

}  // namespace midlet
