#include "support/StoreSnapshot.h"

namespace Vorlant::Test {

QSettings rawStore() {
    return QSettings(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Vorlant"),
                     QString());
}

QVariantMap storeSnapshot() {
    QSettings store = rawStore();
    QVariantMap snapshot;
    for (const QString& key : store.allKeys())
        snapshot.insert(key, store.value(key));
    return snapshot;
}

} // namespace Vorlant::Test
