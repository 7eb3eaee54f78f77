#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Vorlant::Test {

// Puts tests/data/stores/<name>.conf in place of the isolated store and makes every QSettings
// of the process, Settings' own included, read it. Returns false when the fixture is missing.
bool loadStoreFixture(const QString& name);

// The bytes of the store file once everything pending has been written.
QByteArray syncedStoreBytes();

// Every key as sorted "key=value" lines: of the shared store as written to disk, and of a
// fixture.
QStringList storeLines();
QStringList fixtureLines(const QString& name);

// A file's contents (null when there is none), and writing one where folders may be missing.
QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& contents);

// An autostart file written by hand, around the given Exec value.
QByteArray autostartFileWithExec(const QString& exec);

} // namespace Vorlant::Test
