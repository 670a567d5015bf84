// The text of the About box.
#pragma once

#include <string>

namespace app {

inline constexpr const char* kAboutCaption = "About";

// Sixteen lines joined by single carriage returns (UTF-8): the title, the
// version, the programmer and the tester with their credit lines, two links,
// the rights line, and the question whether to open the help page.
std::string AboutText();

}  // namespace app
