#include "settings/Settings.h"

namespace Vorlant {

// The autostart entry is still to come; these keep the interface in place.
bool Settings::isAutostartEnabled() {
    return false;
}

void Settings::setAutostart(bool) {}

void Settings::refreshAutostart() {}

} // namespace Vorlant
