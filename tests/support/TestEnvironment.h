#pragma once

#include <QString>

namespace Vorlant::Test {

// Points the shared store, HOME and the XDG folders at a fresh temporary folder so a test never
// touches the real machine. Call before the first Settings or Logger use (initTestCase).
// Returns the temporary root; it lives until the process exits.
QString isolateEnvironment();

// Removes every key of the (isolated) shared store, for a clean start between cases.
void clearStore();

// Path of the isolated store file, and of the log directory.
QString storeFilePath();
QString logDirectoryPath();

} // namespace Vorlant::Test
