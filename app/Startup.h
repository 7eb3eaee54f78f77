#pragma once

#include <QString>

class QApplication;

namespace Vorlant {

inline const char kStyleSheetResource[] = ":stylesheet/basestyle";
inline const char kStyleSheetPrefix[] = "*{font-family: \"DejaVu Sans\";}";

// Appends the executable's own folder to the library search path. Runs before the
// application object exists, so it finds the folder without QCoreApplication.
void extendLibraryPath(const char* argv0);

// Scales the whole window on screens above 96 DPI; must run before the application object.
void enableHighDpi();

// Loads the style sheet resource, logs it and applies it; logs an error if it is missing.
void applyStyleSheet(QApplication& app,
                     const QString& resource = QLatin1String(kStyleSheetResource));

void applyDefaultFont();

// Everything between creating the application object and showing the main window: name,
// style sheet, font, and the store opened and upgraded.
void prepareApplication(QApplication& app);

// The whole start-up sequence, ending in the event loop; returns the exit code.
int runApplication(int argc, char** argv);

} // namespace Vorlant
