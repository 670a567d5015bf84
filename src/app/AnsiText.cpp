#include "app/AnsiText.h"

#include "platform/CodePage.h"

namespace app {

std::string ToAnsi(const QString& text) {
    return platform::Utf8ToAnsi(text.toStdString());
}

QString FromAnsi(const std::string& text) {
    return QString::fromStdString(platform::AnsiToUtf8(text));
}

QString DisplayText(const QString& caption) {
    QString shown = caption;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QChar('\r'), QChar('\n'));
    return shown;
}

}  // namespace app
