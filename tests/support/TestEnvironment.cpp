#include "support/TestEnvironment.h"

#include "settings/Settings.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace Vorlant::Test {

#ifdef Q_OS_WIN
// The store is the registry node itself, so only a throwaway Wine prefix (scripts/wine-run.sh
// marks it) isolates it; on any other Windows the tests would wipe the real store.
void isolateEnvironment() {
    if (!qEnvironmentVariableIsSet("VORLANT_THROWAWAY_REGISTRY"))
        qFatal("Not in a throwaway Wine prefix: refusing to touch this machine's registry");
    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/vorlant-service")
        .removeRecursively();
    clearStore();
}

// The registry has no file to copy: the keys are written one by one, as the old programs
// wrote them there (every value of an INI file reads back as text).
void loadStore(const QByteArray& contents) {
    clearStore();
    QTemporaryDir dir;
    writeFile(dir.filePath("old.conf"), contents);
    QSettings old(dir.filePath("old.conf"), QSettings::IniFormat);
    QSettings store = rawStore();
    for (const QString& key : old.allKeys())
        store.setValue(key, old.value(key));
}

void storeSerialized(const QStringList& keys, const QByteArray& bytes) {
    const QString text = "@Variant(" + QString::fromLatin1(bytes) + ')';
    for (const QString& key : keys) {
    const QString group = QString("Software/%1/OrganizationDefaults/%2")
                              .arg(kStoreOrganisation, key.section('/', 0, -2)).replace('/', '\\');
    HKEY handle = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(group.utf16()), 0, nullptr,
                    0, KEY_WRITE, nullptr, &handle, nullptr);
    RegSetValueExW(handle, reinterpret_cast<const wchar_t*>(key.section('/', -1).utf16()), 0,
                   REG_BINARY, reinterpret_cast<const BYTE*>(text.utf16()), DWORD(text.size() * 2));
    RegCloseKey(handle);
    }
}

#else
void isolateEnvironment() {
    static const QTemporaryDir root; // gone with the process
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        QDir().mkpath(root.filePath(name));
        qputenv(name, QFile::encodeName(root.filePath(name)));
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, root.filePath("system"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root.filePath("XDG_CONFIG_HOME"));
}

void loadStore(const QByteArray& contents) {
    rawStore().sync(); // nothing pending may be written over the new contents later
    writeFile(rawStore().fileName(), contents);
    // Qt reads a store file again only when its size or modification time changed: each load
    // gets a time of its own, far from any time Qt writes.
    static qint64 loads = 0;
    QFile file(rawStore().fileName());
    file.open(QIODevice::Append);
    file.setFileTime(QDateTime::fromSecsSinceEpoch(++loads), QFileDevice::FileModificationTime);
    file.close();
    rawStore().sync();
}

// Qt escapes the bytes as it does a byte array's, quotes included.
void storeSerialized(const QStringList& keys, const QByteArray& bytes) {
    QTemporaryDir dir;
    QSettings(dir.filePath("v.conf"), QSettings::IniFormat).setValue("v", bytes);
    const QByteArray file = readFile(dir.filePath("v.conf"));
    QByteArray value = file.mid(file.indexOf("v=") + 2).trimmed();
    value.replace(value.indexOf("@ByteArray("), 11, "@Variant(");
    QSettings store = rawStore();
    for (const QString& key : keys) // at once: Qt decodes what the file holds before it saves
        store.setValue(key, "serialized-value-here");
    store.sync();
    loadStore(readFile(store.fileName()).replace("serialized-value-here", value));
}

#endif

QStringList storeLines() {
#ifdef Q_OS_WIN
    QSettings store = rawStore(); // the registry keeps no cache: this reads what was written
#else
    // Read from a copy, which shares no cache with the store: only what reached the disk counts.
    rawStore().sync();
    QTemporaryDir dir;
    writeFile(dir.filePath("copy.conf"), readFile(rawStore().fileName()));
    QSettings store(dir.filePath("copy.conf"), QSettings::IniFormat);
#endif
    QStringList lines;
    for (const QString& key : store.allKeys())
        lines << key + '=' + store.value(key).toString();
    lines.sort();
    return lines;
}

QSettings rawStore() {
    return QSettings(QSettings::NativeFormat, QSettings::SystemScope,
                     QLatin1String(kStoreOrganisation), QLatin1String(kStoreApplication));
}

QVariantMap storeSnapshot() {
    QSettings store = rawStore();
    QVariantMap snapshot;
    for (const QString& key : store.allKeys())
        snapshot.insert(key, store.value(key));
    return snapshot;
}

void clearStore() {
    // Not clear(): on Windows that deletes the registry key itself once this handle closes,
    // and the store's own open handle would then write into a deleted key.
    QSettings store = rawStore();
    for (const QString& key : store.childKeys() + store.childGroups())
        store.remove(key);
    store.sync();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        file.write(contents);
}

} // namespace Vorlant::Test
