#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace Vorlant {

// Off Windows the autostart entry is an XDG autostart file: a desktop entry whose Exec line
// stands for the command line that the Windows Run key would keep.

// The Exec value that runs these arguments, quoted and escaped so that any path survives.
QString desktopExecValue(const QStringList& arguments);

// The arguments an Exec value runs; nothing when its quoting is broken.
std::optional<QStringList> desktopExecArguments(const QString& exec);

// The whole autostart file for the executable at appPath.
QByteArray autostartDesktopEntry(const QString& appPath);

// The command line an autostart file holds, in the form autostartValue() gives it; a null
// string when the file holds no entry that would start anything.
QString autostartValueFromDesktopEntry(const QByteArray& contents);

// Where the autostart file lives, given $XDG_CONFIG_HOME and the home folder; the second form
// reads both from the environment.
QString autostartDesktopFilePath(const QString& xdgConfigHome, const QString& home);
QString autostartDesktopFilePath();

} // namespace Vorlant
