#include "settings/Settings.h"

#include "settings/SettingsPrivate.h"
#include "settings/StoreGuard.h"

#include <QDir>
#include <QFileInfo>

namespace Vorlant {

namespace {

std::shared_ptr<QSettings> openStore() {
    auto store = std::make_shared<QSettings>(QSettings::NativeFormat, QSettings::SystemScope,
                                             QLatin1String(kStoreOrganisation),
                                             QLatin1String(kStoreApplication));
#ifndef Q_OS_WIN
    // The file that Qt would consult beside the folder (/etc/xdg/vorlant.conf) is no store of ours.
    store->setFallbacksEnabled(false);
#endif
    return store;
}

} // namespace

void Settings::Private::open() {
    store = openStore();
    guardStoreFile();
}

void Settings::Private::guardStoreFile() {
#ifndef Q_OS_WIN
    const QString path = repairedCopy ? copiedFrom : store->fileName();
    const FileRepair repair = repairStoreFile(path);
    if (repairedCopy && (repair.written || !repair.damaged)) {
        repairedCopy.reset(); // the store itself can be read safely again
        store = openStore();
    } else if (repair.written) {
        store->sync(); // reads the repaired file afresh
    } else if (repair.damaged && !repairedCopy) {
        repairedCopy = std::make_unique<QTemporaryDir>();
        QFile copy(repairedCopy->filePath(QStringLiteral("store.conf")));
        if (copy.open(QIODevice::WriteOnly))
            copy.write(repair.contents);
        copy.close();
        store = std::make_shared<QSettings>(copy.fileName(), QSettings::IniFormat);
        copiedFrom = path;
    }
#endif
}

Settings::Settings()
    : d(std::make_unique<Private>()) {
    d->store = openStore(); // guarded by the start-up upgrade, before anything reads it
}

Settings::~Settings() = default;

Settings& Settings::instance() {
    static Settings settings;
    return settings;
}

QVariant Settings::value(const QString& key, const QVariant& defaultValue) const {
    return storedValue(*d->store, key, defaultValue);
}

void Settings::setValue(const QString& key, const QVariant& value) {
    d->store->setValue(key, value);
}

StoreFault Settings::writeBack() {
    // Another program may have written the file since it was read: Qt reads all of it again
    // before it writes.
    d->guardStoreFile();
    if (d->repairedCopy) {
        d->fault = QFileInfo(d->copiedFrom).isWritable() ? StoreFault::WriteFailed
                                                         : StoreFault::NoPermission;
        return d->fault;
    }
    d->store->sync();
    bool failed = false;
    if (d->store->status() != QSettings::NoError) {
        // A QSettings object reports its first error for as long as it lives. A new one over the
        // same store starts clean; what is still pending stays with the store, not the object,
        // so its write-back tells whether writing works now.
        d->open();
        d->store->sync();
        failed = d->store->status() == QSettings::AccessError;
    }
    if (!d->store->isWritable())
        d->fault = StoreFault::NoPermission;
    else
        d->fault = failed ? StoreFault::WriteFailed : StoreFault::None;
    return d->fault;
}

StoreFault Settings::fault() const {
    return d->fault;
}

QString Settings::location() const {
    return QDir::toNativeSeparators(d->repairedCopy ? d->copiedFrom : d->store->fileName());
}

QString Settings::currentVersion() {
    return QStringLiteral("%1.%2").arg(QLatin1String(VORLANT_MAJOR), QLatin1String(VORLANT_MINOR));
}

} // namespace Vorlant
