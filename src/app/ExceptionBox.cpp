#include "app/ExceptionBox.h"

#include "app/Languages.h"
#include "platform/Dialogs.h"

namespace app {

std::string ExceptionBoxText(const std::string& message) {
    std::string text = message;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
        text += '.';
    }
    return text;
}

void ShowException(const std::string& message) {
    platform::Dialogs().MessageBox(ExceptionBoxText(message), kAppTitle,
                                   platform::MB_OK | platform::MB_ICONERROR);
}

}  // namespace app
