#include "settings/ServerUrl.h"

#include "settings/Settings.h"

namespace Vorlant {

QString loadServerUrl(Settings& settings) {
    const QString key = QStringLiteral("server");
    QString server = settings.value(key, QString::fromLatin1(kDefaultServerUrl)).toString();
    // An upgrade from a 1.05 store without entries leaves "server" empty; such a value would
    // never reach the pool, so it is treated like a missing one.
    if (server.isEmpty())
        server = QString::fromLatin1(kDefaultServerUrl);
    settings.setValue(key, server);
    return server;
}

} // namespace Vorlant
