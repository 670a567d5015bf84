// The data the suite facts are read against: which API a Java package
// belongs to, which descriptor attributes state a screen size, and the
// screen sizes of common phones. The tables are text (data/*.tsv) built
// into the program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace midlet {

struct ApiEntry {
    std::string prefix;    // a package in class-file form: javax/microedition/m3g
    std::string api;       // its name as the report shows it
    std::string platform;  // doja, wipi, blackberry, or empty
};

struct ScreenAttribute {
    std::string name;  // Nokia-MIDlet-Target-Display-Size
    std::string role;  // target, original
};

struct ScreenSize {
    int width = 0;
    int height = 0;
    bool operator==(const ScreenSize&) const = default;
};

struct SuiteTables {
    std::vector<ApiEntry> apis;
    std::vector<ScreenAttribute> screenAttributes;
    std::vector<ScreenSize> screens;

    // The entry of the longest prefix that is `package` or one above it;
    // null for a package the table does not know.
    const ApiEntry* ApiOf(std::string_view package) const;
    bool IsScreen(ScreenSize size) const;
};

// The texts of data/api-packages.tsv and data/screens.tsv as built in.
std::string_view ApiTableText();
std::string_view ScreenTableText();

// Reads the two tables; lines that fit no form are skipped.
SuiteTables ParseSuiteTables(std::string_view apiText, std::string_view screenText);

// The built-in tables, read once.
const SuiteTables& BuiltInSuiteTables();

// "176,208", "176x208" or "176 x 208": a width and a height of 1 to 4096.
bool ParseScreenSize(std::string_view text, ScreenSize& size);

}  // namespace midlet
