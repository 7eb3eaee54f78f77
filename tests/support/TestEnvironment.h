#pragma once

#include <QSettings>
#include <QVariantMap>

namespace Vorlant::Test {

// Points the shared store, HOME and the XDG folders at a fresh temporary folder so a test never
// touches the real machine. Call before the first Settings or Logger use (initTestCase).
// Returns the temporary root; it lives until the process exits.
QString isolateEnvironment();

// Removes every key of the (isolated) shared store, for a clean start between cases.
void clearStore();

// A second handle on the isolated store, for arranging and inspecting it behind the back of
// the code under test; and every key of it with its value.
QSettings rawStore();
QVariantMap storeSnapshot();

QString logDirectoryPath();

} // namespace Vorlant::Test
