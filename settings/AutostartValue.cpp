#include "settings/AutostartValue.h"

#include <QDir>

namespace Vorlant {

namespace {

QString withoutQuotes(const QString& text) {
    const QChar quote(u'"');
    if (text.size() >= 2 && text.startsWith(quote) && text.endsWith(quote))
        return text.mid(1, text.size() - 2);
    return text;
}

} // namespace

QString autostartValue(const QString& appPath) {
    // Unquoted, a path with spaces could be taken for a shorter program followed by arguments.
    return QStringLiteral("\"%1\" %2")
        .arg(QDir::toNativeSeparators(appPath), QLatin1String(kAutostartArgument));
}

bool autostartNamesExecutable(const QString& value, const QString& appPath) {
    if (value.isNull() || appPath.isEmpty())
        return false;
    QString command = value;
    const QLatin1String argument(kAutostartArgument);
    if (command.endsWith(argument))
        command.chop(argument.size());
    // Older releases wrote the path without quotes; such entries still belong to us.
    return QDir::fromNativeSeparators(withoutQuotes(command.trimmed())) == appPath;
}

} // namespace Vorlant
