#include "app/ExceptionBox.h"

#include "app/Languages.h"
#include "midlet/ExceptionText.h"
#include "platform/Dialogs.h"

namespace app {

std::string ExceptionBoxText(const std::string& message) {
    return midlet::ExceptionBoxText(message);
}

void ShowException(const std::string& message) {
    platform::Dialogs().MessageBox(ExceptionBoxText(message), kAppTitle,
                                   platform::MB_OK | platform::MB_ICONERROR);
}

}  // namespace app
