#include "settings/Settings.h"

#include "settings/SettingsPrivate.h"

#include <QDir>

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

Settings::Settings()
    : d(std::make_unique<Private>()) {
    d->store = openStore();
}

Settings::~Settings() = default;

Settings& Settings::instance() {
    static Settings settings;
    return settings;
}

QVariant Settings::value(const QString& key, const QVariant& defaultValue) const {
    return d->store->value(key, defaultValue);
}

void Settings::setValue(const QString& key, const QVariant& value) {
    d->store->setValue(key, value);
}

StoreFault Settings::writeBack() {
    d->store->sync();
    bool failed = false;
    if (d->store->status() != QSettings::NoError) {
        // A QSettings object reports its first error for as long as it lives. A new one over the
        // same store starts clean; what is still pending stays with the store, not the object,
        // so its write-back tells whether writing works now.
        d->store = openStore();
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
    return QDir::toNativeSeparators(d->store->fileName());
}

QString Settings::currentVersion() {
    return QStringLiteral("%1.%2").arg(QLatin1String(VORLANT_MAJOR), QLatin1String(VORLANT_MINOR));
}

} // namespace Vorlant
