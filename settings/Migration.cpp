#include "settings/Settings.h"

#include "settings/SettingsPrivate.h"

namespace Vorlant {

void Settings::migrate() {
    // Upgrading older layouts is still to come; for now every start only stamps the version.
    setValue(QStringLiteral("version"), currentVersion());
}

} // namespace Vorlant
