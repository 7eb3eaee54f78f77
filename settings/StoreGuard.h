#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

class QSettings;

namespace Vorlant {

// A stored value that Qt cannot decode safely (a serialized list, map or text whose counts run
// past its end, nested without end, of an unknown type) counts as absent: the program never lets
// Qt decode it, reads the caller's default instead, and writes nothing half-decoded back. Each
// such key is logged once per start, by name and place, never by its bytes.

// Reads a key of the store's current group as storedValue(store, key) would through QSettings.
// On Windows, where Qt decodes a registry value when it is read, the raw value is checked first.
QVariant storedValue(QSettings& store, const QString& key,
                     const QVariant& defaultValue = QVariant());

// The damaged keys met since the program started, in the order met.
QStringList damagedKeys();
void reportDamagedKey(const QString& key, const QString& location);

// The window's line naming them; empty when there are none.
QString damagedKeysNotice(const QStringList& keys);

// Qt's INI reader decodes a whole section, and before a write-back the whole file, at once: the
// store file's damaged values are made Qt's invalid marker before it reads any, under Qt's own
// lock. When the file may not be written, the repaired contents are handed back to be read
// instead; the store then cannot be saved anyway.
struct FileRepair {
    bool damaged = false;
    bool written = false;
    QByteArray contents;
};
FileRepair repairStoreFile(const QString& path);

} // namespace Vorlant
