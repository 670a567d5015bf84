// The window's exception box. Every event handler of the window runs inside
// Guarded: an exception ends the handler and is shown to the user, and never
// reaches Qt's event loop.
#pragma once

#include <exception>
#include <string>

namespace app {

// The text of the box: the message, and a full stop after it when it is not
// empty and its last character's code is greater than that of ".".
std::string ExceptionBoxText(const std::string& message);

// Shows the box through the dialog hook: caption "Quellor", one OK button
// and the error icon.
void ShowException(const std::string& message);

template <class Handler>
void Guarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException("Unknown exception");
    }
}

}  // namespace app
