#include "settings/Settings.h"

#include "settings/SettingsPrivate.h"

namespace Vorlant {

Settings::Settings()
    : d(std::make_unique<Private>()) {
    // An empty application name keeps us on the organisation-wide node that the service reads.
    d->store = std::make_shared<QSettings>(QSettings::NativeFormat, QSettings::SystemScope,
                                           QStringLiteral("Vorlant"), QString());
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
