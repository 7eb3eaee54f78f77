#pragma once

#include <QSettings>
#include <QVariantMap>

namespace Vorlant::Test {

// Points the shared store, HOME and the XDG folders at a fresh temporary folder so a test never
// touches the real machine. Call before the first Settings or Logger use (initTestCase).
// Returns the temporary root; it lives until the process exits.
QString isolateEnvironment();

// A second handle on the isolated store, for arranging and inspecting it behind the back of the
// code under test; every key of it with its value; and emptying it between cases.
QSettings rawStore();
QVariantMap storeSnapshot();
void clearStore();

// Replaces the isolated store by an old program's store file (tests/data/stores/<name>.conf),
// byte for byte, malformed lines included.
void loadStoreFixture(const QString& name);

QString logDirectoryPath();
QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& contents);

} // namespace Vorlant::Test
