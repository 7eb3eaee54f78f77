#include "settings/Settings.h"

#include "settings/SettingsPrivate.h"
#include "settings/StoreGuard.h"

#include <algorithm>

namespace Vorlant {

namespace {

QString minersGroup(bool custom) {
    return custom ? QStringLiteral("customMiners") : QStringLiteral("miners");
}

QVariantMap readEntry(QSettings& store, const QString& engine) {
    QVariantMap entry;
    entry.insert(QStringLiteral("engine"), engine);
    GroupScope entryScope(store, {engine});
    QVariantMap mergedPools;
    {
        GroupScope poolsScope(store, {QStringLiteral("mergedPools")});
        for (const QString& key : store.childKeys())
            mergedPools.insert(key, storedValue(store, key));
    }
    // Entries of old layouts carry their own "engine" key, which wins over the group name.
    for (const QString& key : store.childKeys())
        entry.insert(key, storedValue(store, key));
    entry.insert(QStringLiteral("mergedPools"), mergedPools);
    return entry;
}

} // namespace

bool isUsableCoinId(const QString& id) {
    const auto isSeparatorOrControl = [](QChar c) {
        return c == u'/' || c == u'\\' || c.category() == QChar::Other_Control;
    };
    return !id.isEmpty() && std::none_of(id.cbegin(), id.cend(), isSeparatorOrControl);
}

QVariantMap Settings::miners() const {
    QSettings& store = *d->store;
    QVariantMap result;
    GroupScope scope(store, {minersGroup(false)});
    for (const QString& engine : store.childGroups())
        result.insert(engine, readEntry(store, engine));
    return result;
}

bool Settings::setMiner(QVariantMap entry) {
    const QString engine = entry.take(QStringLiteral("engine")).toString();
    GroupScope scope(*d->store, {minersGroup(false), engine});
    for (auto it = entry.cbegin(); it != entry.cend(); ++it) {
        if (it.value().isValid())
            d->store->setValue(it.key(), it.value());
        else
            d->store->remove(it.key());
    }
    return true;
}

QVariant Settings::minerValue(const QString& coin, const QString& key, bool custom,
                              const QVariant& defaultValue) const {
    GroupScope scope(*d->store, {minersGroup(custom), coin});
    return storedValue(*d->store, key, defaultValue);
}

void Settings::setMinerValue(const QString& coin, const QString& key, bool custom,
                             const QVariant& value) {
    GroupScope scope(*d->store, {minersGroup(custom), coin});
    d->store->setValue(key, value);
}

} // namespace Vorlant
