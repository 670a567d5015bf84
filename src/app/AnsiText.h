// The window speaks Qt's UTF-16 text; the core speaks the ANSI code page.
// Every text that crosses between them goes through these two.
#pragma once

#include <QString>
#include <string>

namespace app {

std::string ToAnsi(const QString& text);
QString FromAnsi(const std::string& text);

// A caption as the window library shows it: a carriage return breaks the
// line (a CR LF pair counts once).
QString DisplayText(const QString& caption);

}  // namespace app
