#include "settings/Settings.h"

#include "settings/AutostartDesktopEntry.h"
#include "settings/AutostartValue.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <QSettings>
#else
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#endif

namespace Vorlant {

namespace {

#ifdef Q_OS_WIN

// Each use opens the key afresh and closes it again, apart from the shared store.
QSettings runKey() {
    return QSettings(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
        QSettings::NativeFormat);
}

QString storedValue() {
    return runKey().value(QLatin1String(kAutostartName)).toString();
}

void writeEntry(const QString& appPath) {
    runKey().setValue(QLatin1String(kAutostartName), autostartValue(appPath));
}

void removeEntry() {
    runKey().remove(QLatin1String(kAutostartName));
}

#else

QString storedValue() {
    QFile file(autostartDesktopFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return autostartValueFromDesktopEntry(file.readAll());
}

void writeEntry(const QString& appPath) {
    const QString path = autostartDesktopFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    // A session starting while we write must not find half a file.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(autostartDesktopEntry(appPath));
        file.commit();
    }
}

void removeEntry() {
    QFile::remove(autostartDesktopFilePath());
}

#endif

} // namespace

bool Settings::isAutostartEnabled() {
    return autostartNamesExecutable(storedValue(), QCoreApplication::applicationFilePath());
}

void Settings::setAutostart(bool enabled) {
    if (enabled)
        writeEntry(QCoreApplication::applicationFilePath());
    else
        removeEntry();
}

void Settings::refreshAutostart() {
    if (!isAutostartEnabled())
        return;
    removeEntry();
    setAutostart(true);
}

} // namespace Vorlant
