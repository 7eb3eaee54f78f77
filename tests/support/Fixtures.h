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

// The autostart file of the isolated home (null when there is none); writing it; and one
// written by hand around the given Exec value.
QByteArray autostartFileContents();
void writeAutostartFile(const QByteArray& contents);
QByteArray autostartFileWithExec(const QString& exec);

} // namespace Vorlant::Test
