#pragma once

#include <QSettings>
#include <QVariantMap>

namespace Vorlant::Test {

// Points the shared store, HOME and the XDG folders at a fresh temporary folder so a test never
// touches the real machine. Call before the first Settings or Logger use (initTestCase).
void isolateEnvironment();

// A second handle on the isolated store, for arranging and inspecting it behind the back of the
// code under test; every key of it with its value; and emptying it between cases.
QSettings rawStore();
QVariantMap storeSnapshot();
void clearStore();

// Replaces the isolated store by these file contents, byte for byte, malformed lines included
// (on Windows key by key into the registry, which cannot hold malformed lines),
// and has every QSettings of the process read them.
void loadStore(const QByteArray& contents);

// Stores these bytes as the serialized value (Qt's "@Variant(...)") of the keys, as a file or
// the registry holds it, sound or not.
void storeSerialized(const QStringList& keys, const QByteArray& bytes);

// The isolated store as sorted "key=value" lines, read back from where the store keeps them.
QStringList storeLines();

// A table of tests/data/tables/ as rows of a QStringList column "row": one row a line, its cells
// parted by '|', the first one the row's name; "\t" stands for a tab, lines starting '#' aside.
void addRows(const QString& table);

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& contents); // "\n" as the platform's break

} // namespace Vorlant::Test
