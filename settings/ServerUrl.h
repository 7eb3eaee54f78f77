#pragma once

#include <QString>

namespace Vorlant {

class Settings;

// Reads the pool operator's base URL from the store and writes it back, so the store always
// names the server the program talks to. A missing or empty value yields kDefaultServerUrl.
QString loadServerUrl(Settings& settings);

} // namespace Vorlant
