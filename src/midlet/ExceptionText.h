// The text a failure is shown with, in the window's exception box and in the
// headless front end alike.
#pragma once

#include <string>

namespace midlet {

// The message, followed by "." when it is not empty and its last byte's code
// is greater than that of "." (so "File not found" becomes "File not
// found." while "Invalid archive file." stays as it is).
std::string ExceptionBoxText(const std::string& message);

}  // namespace midlet
