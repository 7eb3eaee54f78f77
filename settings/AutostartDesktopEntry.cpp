#include "settings/AutostartDesktopEntry.h"

#include "settings/AutostartValue.h"

#include <QDir>
#include <QHash>

#include <algorithm>

namespace Vorlant {

namespace {

// Characters that may stand in an Exec argument only inside double quotes.
const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
// Characters that take a backslash inside double quotes.
const QString kQuotedEscapes = QStringLiteral("\"`$\\");

QString quotedArgument(const QString& argument) {
    QString quoted(u'"');
    for (const QChar c : argument) {
        if (kQuotedEscapes.contains(c))
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

bool needsQuotes(const QString& argument) {
    return argument.isEmpty() || std::any_of(argument.begin(), argument.end(),
                                             [](QChar c) { return kReserved.contains(c); });
}

// Desktop entry strings escape backslashes and control characters; Exec quoting applies on top.
QString escapedString(const QString& text) {
    QString escaped;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        case u'\t':
            escaped += QStringLiteral("\\t");
            break;
        case u'\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString unescapedString(const QString& text) {
    static const QHash<QChar, QChar> escapes{
        {u's', u' '}, {u'n', u'\n'}, {u't', u'\t'}, {u'r', u'\r'}, {u'\\', u'\\'}};
    QString plain;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\\' && i + 1 < text.size() && escapes.contains(text.at(i + 1)))
            plain += escapes.value(text.at(++i));
        else
            plain += text.at(i);
    }
    return plain;
}

// Keys of the [Desktop Entry] group; the first of two equal keys wins.
QHash<QString, QString> desktopEntryKeys(const QByteArray& contents) {
    QHash<QString, QString> keys;
    bool inEntry = false;
    for (QString line : QString::fromUtf8(contents).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[')) {
            inEntry = trimmed == QLatin1String("[Desktop Entry]");
            continue;
        }
        const int equals = line.indexOf(u'=');
        if (!inEntry || trimmed.startsWith(u'#') || equals < 0)
            continue;
        QString value = line.mid(equals + 1);
        while (value.startsWith(u' ') || value.startsWith(u'\t'))
            value.remove(0, 1);
        const QString key = line.left(equals).trimmed();
        if (!keys.contains(key))
            keys.insert(key, value);
    }
    return keys;
}

} // namespace

QString desktopExecValue(const QStringList& arguments) {
    QStringList parts;
    for (int i = 0; i < arguments.size(); ++i) {
        QString argument = arguments.at(i);
        argument.replace(u'%', QStringLiteral("%%"));
        // The program is always quoted, as in the Run key.
        parts << (i == 0 || needsQuotes(argument) ? quotedArgument(argument) : argument);
    }
    return escapedString(parts.join(u' '));
}

std::optional<QStringList> desktopExecArguments(const QString& exec) {
    const QString line = unescapedString(exec);
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        const bool escapes = c == u'\\' && i + 1 < line.size() &&
                             (!quoted || kQuotedEscapes.contains(line.at(i + 1)));
        if (escapes) {
            current += line.at(++i);
            inArgument = true;
        } else if (c == u'"') {
            quoted = !quoted;
            inArgument = true;
        } else if (!quoted && (c == u' ' || c == u'\t')) {
            if (inArgument)
                arguments << current;
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inArgument)
        arguments << current;
    for (QString& argument : arguments)
        argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return arguments;
}

QByteArray autostartDesktopEntry(const QString& appPath) {
    const QStringList arguments{QDir::toNativeSeparators(appPath),
                                QLatin1String(kAutostartArgument)};
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vorlant service settings\n"
                          "Exec=%1\n")
        .arg(desktopExecValue(arguments))
        .toUtf8();
}

QString autostartValueFromDesktopEntry(const QByteArray& contents) {
    const QHash<QString, QString> keys = desktopEntryKeys(contents);
    // A hidden autostart file counts as deleted.
    if (!keys.contains(QStringLiteral("Exec")) ||
        keys.value(QStringLiteral("Hidden")) == QLatin1String("true"))
        return QString();
    const std::optional<QStringList> arguments =
        desktopExecArguments(keys.value(QStringLiteral("Exec")));
    if (!arguments || arguments->isEmpty())
        return QString();
    QString value = QStringLiteral("\"%1\"").arg(arguments->first());
    for (int i = 1; i < arguments->size(); ++i)
        value += u' ' + arguments->at(i);
    return value;
}

QString autostartDesktopFilePath(const QString& xdgConfigHome, const QString& home) {
    // A relative XDG_CONFIG_HOME is invalid and is ignored like an unset one.
    const QString base =
        QDir::isAbsolutePath(xdgConfigHome) ? xdgConfigHome : home + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/autostart/") + QLatin1String(kAutostartName) +
                           QStringLiteral(".desktop"));
}

QString autostartDesktopFilePath() {
    return autostartDesktopFilePath(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
}

} // namespace Vorlant
