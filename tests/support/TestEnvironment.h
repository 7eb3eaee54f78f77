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

// A file's contents (null when there is none), and writing one where folders may be missing.
QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& contents);

} // namespace Vorlant::Test
