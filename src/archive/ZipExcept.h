// The archive engine's exception: a native error number, the index of its
// message text, and the composed message "[Name: ]text - Native error: 000NN".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

#include "platform/Errors.h"

namespace archive {

class TComponent;

// One value for a placeholder of a message text: %s takes text, %d a number.
using FormatArg = std::variant<std::string, std::int64_t>;

class EZipException : public platform::Exception {
  public:
    // The archiver may be null (raise sites with no component at hand).
    EZipException(int nativeError, const TComponent* archiver);
    EZipException(int nativeError, const TComponent* archiver,
                  std::initializer_list<FormatArg> args);

    int ErrorCode;    // index of the message text, 0 to 40
    int NativeError;  // the number given at the raise site
    // Why it failed, when the raise site knows (a full disk, an unsafe
    // name): the failure question tells it; empty otherwise.
    std::string Reason;
};

// The message an EZipException of this number would carry.
std::string ComposeZipMessage(int nativeError, const TComponent* archiver,
                              const std::vector<FormatArg>& args);

// Fills the %s and %d placeholders of a message text in order; a
// placeholder without an argument is left as it stands, "%%" gives "%".
std::string FormatZipMessage(const std::string& text, const std::vector<FormatArg>& args);

}  // namespace archive
