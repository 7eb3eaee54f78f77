#include "settings/StoreGuard.h"

#include "log/Logger.h"
#include "settings/Settings.h"
#include "settings/StoreFileScan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace Vorlant {

namespace {

QStringList& damagedKeyList() {
    static QStringList keys;
    return keys;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeWhole(const QString& path, const QByteArray& contents) {
    QSaveFile file(path); // keeps the mode of the file it replaces, as Qt's own write-back does
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() &&
           file.commit();
}

#ifdef Q_OS_WIN
const wchar_t* wide(const QString& text) {
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

// The value as Qt's registry reader turns it into text before it decodes it.
QStringList registryTexts(DWORD type, const QByteArray& data) {
    const auto* chars = reinterpret_cast<const char16_t*>(data.constData());
    const int count = data.size() / 2;
    const auto text = [&](int from) {
        int end = from;
        while (end < count && chars[end] != 0)
            ++end;
        return QString::fromUtf16(chars + from, end - from);
    };
    QStringList texts;
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        texts << text(0);
    else if (type == REG_BINARY || type == REG_NONE)
        texts << QString::fromUtf16(chars, count);
    for (int from = 0; type == REG_MULTI_SZ && from < count && chars[from] != 0;
         from += texts.constLast().size() + 1)
        texts << text(from);
    return texts;
}

bool isDamagedRegistryValue(const QString& key) {
    QString group =
        QStringLiteral("Software\\%1\\OrganizationDefaults").arg(QLatin1String(kStoreOrganisation));
    const int slash = key.lastIndexOf(u'/');
    if (slash > 0)
        group += u'\\' + QString(key.left(slash)).replace(u'/', u'\\');
    const QString name = key.mid(slash + 1);
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(group), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    QByteArray data;
    LONG result = RegQueryValueExW(handle, wide(name), nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        data.resize(int(size));
        result = RegQueryValueExW(handle, wide(name), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
        data.resize(int(size));
    }
    RegCloseKey(handle);
    const QStringList texts = registryTexts(type, data);
    return result == ERROR_SUCCESS &&
           !std::all_of(texts.cbegin(), texts.cend(), isDecodableStoredText);
}
#endif

} // namespace

QVariant storedValue(QSettings& store, const QString& key, const QVariant& defaultValue) {
    const QString path = normalizedKey(store.group() + u'/' + key);
#ifdef Q_OS_WIN
    if (isDamagedRegistryValue(path)) {
        reportDamagedKey(path, QDir::toNativeSeparators(store.fileName()));
        return defaultValue;
    }
#endif
    // Elsewhere the value was replaced by Qt's invalid marker before Qt read it.
    const QVariant value = store.value(key, defaultValue);
    return !value.isValid() && damagedKeyList().contains(path) ? defaultValue : value;
}

QStringList damagedKeys() {
    return damagedKeyList();
}

void reportDamagedKey(const QString& key, const QString& location) {
    if (damagedKeyList().contains(key))
        return;
    damagedKeyList().append(key);
    Logger::error(QString(), QStringLiteral("The stored setting %1 in %2 is damaged and can't be "
                                            "read; it counts as not set")
                                 .arg(key, location));
}

QString damagedKeysNotice(const QStringList& keys) {
    if (keys.isEmpty())
        return QString();
    const char* text = keys.size() == 1 ? "A stored setting can't be read and counts as not set: %1"
                                        : "Stored settings can't be read and count as not set: %1";
    return QCoreApplication::translate("Settings", text).arg(keys.join(QStringLiteral(", ")));
}

FileRepair repairStoreFile(const QString& path) {
    FileRepair repair;
    if (damagedValues(readAll(path)).isEmpty())
        return repair;
    QLockFile lock(path + QStringLiteral(".lock")); // Qt's own, so no write-back comes between
    const bool locked = lock.tryLock(5000);
    // Read again under the lock: the service may have saved meanwhile.
    const QByteArray file = readAll(path);
    const QVector<DamagedValue> damaged = damagedValues(file);
    repair.damaged = !damaged.isEmpty();
    if (!repair.damaged)
        return repair;
    for (const DamagedValue& value : damaged)
        reportDamagedKey(value.key, QDir::toNativeSeparators(path));
    repair.contents = withoutDamagedValues(file, damaged);
    repair.written = locked && writeWhole(path, repair.contents);
    return repair;
}

} // namespace Vorlant
