#pragma once

#include <QString>

namespace Vorlant {

// Name of the per-user autostart entry, and the argument the program is started with from it.
inline const char kAutostartName[] = "VorlantGui";
inline const char kAutostartArgument[] = "--auto";

// The command line the autostart entry keeps for the executable at appPath.
QString autostartValue(const QString& appPath);

// Whether a stored command line starts the executable at appPath (with forward slashes, as
// QCoreApplication reports it). A null value stands for a missing entry.
bool autostartNamesExecutable(const QString& value, const QString& appPath);

} // namespace Vorlant
