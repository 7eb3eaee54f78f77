#include "settings/Settings.h"

#include "settings/SettingsPrivate.h"

namespace Vorlant {

Settings::Settings()
    : d(std::make_unique<Private>()) {
    d->store = std::make_shared<QSettings>(QSettings::NativeFormat, QSettings::SystemScope,
                                           QLatin1String(kStoreOrganisation),
                                           QLatin1String(kStoreApplication));
#ifndef Q_OS_WIN
    // The file that Qt would consult beside the folder (/etc/xdg/vorlant.conf) is no store of ours.
    d->store->setFallbacksEnabled(false);
#endif
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

QString Settings::currentVersion() {
    return QStringLiteral("%1.%2").arg(QStringLiteral("5"), QStringLiteral("10"));
}

} // namespace Vorlant
