#include "midlet/ExceptionText.h"

namespace midlet {

std::string ExceptionBoxText(const std::string& message) {
    std::string text = message;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
        text += '.';
    }
    return text;
}

}  // namespace midlet
