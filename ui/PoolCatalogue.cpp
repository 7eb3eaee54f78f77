#include "ui/PoolCatalogue.h"

#include "settings/Settings.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrl>

#include <algorithm>

namespace Vorlant {

namespace {

QVariant member(const QJsonObject& object, const char* name) {
    return object.value(QLatin1String(name)).toVariant();
}

quint16 portOf(const QJsonObject& server) {
    // Ports wrap into 16 bits, as the service reads them.
    return quint16(member(server, "stratumPort").toUInt());
}

// One arg() call for both parts, so a host holding "%2" cannot swallow the port.
QString hostAndPort(const QString& host, quint16 port) {
    return QStringLiteral("%1:%2").arg(host, QString::number(port));
}

// QJsonObject iterates its members sorted by key already, but that order is an implementation
// detail; the rows and partner registrations depend on it, so sort explicitly.
QStringList sortedKeys(const QJsonObject& object) {
    QStringList keys = object.keys();
    std::sort(keys.begin(), keys.end());
    return keys;
}

QString tickerOf(const QJsonObject& object) {
    return member(object, "ticker").toString().toUpper();
}

// A partner that gets no row of its own is still named in the catalogue where it lists the id.
QVector<MergedPool> parsePartners(const QJsonObject& merged, const QJsonObject& root) {
    QVector<MergedPool> partners;
    partners.reserve(merged.size());
    for (const QString& id : sortedKeys(merged)) {
        const QJsonObject partner = merged.value(id).toObject();
        partners.append({id, member(partner, "ip").toString(), portOf(partner),
                         tickerOf(root.value(id).toObject())});
    }
    return partners;
}

bool isMinable(const QString& id, const QJsonObject& object) {
    return member(object, "family").toString() == QLatin1String("cryptonight") &&
           isUsableCoinId(id);
}

CatalogueCoin parseCoin(const QString& id, const QJsonObject& object, const QJsonObject& root) {
    const QJsonObject server = object.value(QLatin1String("server")).toObject();
    CatalogueCoin coin;
    coin.id = id;
    coin.ticker = tickerOf(object);
    coin.showByDefault = member(object, "showByDefault").toBool();
    coin.pool = hostAndPort(member(server, "ip").toString(), portOf(server));
    coin.partners = parsePartners(server.value(QLatin1String("merged")).toObject(), root);
    return coin;
}

// The user's choices for one coin: initial ones for a coin without a stored entry, otherwise
// those of its stored entry (as reported by Settings::miners()).
struct CoinChoices {
    bool visible = false;
    QString mergedMining;
    quint32 speed = 1;
    QString worker;
    bool running = false;
};

CoinChoices coinChoices(const QVariantMap& storedEntry, bool showByDefault = false) {
    CoinChoices choices;
    if (storedEntry.isEmpty()) {
        choices.visible = showByDefault;
        return choices;
    }
    // Once the coin is known, its stored flag wins over the catalogue's default.
    choices.visible = storedEntry.value(QStringLiteral("visible")).toBool();
    choices.mergedMining = storedEntry.value(QStringLiteral("mergedMining")).toString();
    const QString speed = QStringLiteral("speed");
    // The full stored count is carried forward: cutting it to 8 bits would rewrite a count
    // above 255 as a different number of cores.
    choices.speed = storedEntry.contains(speed) ? storedEntry.value(speed).toUInt() : 1;
    choices.worker = storedEntry.value(QStringLiteral("worker")).toString();
    choices.running = storedEntry.value(QStringLiteral("running")).toBool();
    return choices;
}

// The partner's pool address as stored under "mergedPools".
QUrl mergedPoolUrl(const MergedPool& partner) {
    // Spelled out, the scheme keeps a one-letter host such as "c:3333" a host on Windows too,
    // where fromUserInput() would take it for a drive and make a file URL of it.
    return QUrl::fromUserInput(QStringLiteral("http://") + hostAndPort(partner.host, partner.port));
}

// The miner entry written for a coin row, as Settings::setMiner() takes it.
QVariantMap minerEntry(const CatalogueCoin& coin, const CoinChoices& choices) {
    QVariantMap mergedPools;
    for (const MergedPool& partner : coin.partners)
        mergedPools.insert(partner.id, mergedPoolUrl(partner));
    return {
        {QStringLiteral("engine"), coin.id},
        {QStringLiteral("ticker"), coin.ticker},
        {QStringLiteral("pool"), coin.pool},
        {QStringLiteral("worker"), choices.worker},
        {QStringLiteral("speed"), choices.speed},
        {QStringLiteral("running"), choices.running},
        {QStringLiteral("mergedPools"), mergedPools},
        {QStringLiteral("mergedMining"), choices.mergedMining},
        {QStringLiteral("visible"), choices.visible},
    };
}

CoinRow coinRow(const QString& id, const QString& ticker, const QVector<MergedPool>& partners,
                const CoinChoices& choices) {
    // The cores combo shows the stored count only while the coin is mined.
    const int cores = choices.running ? int(choices.speed) : 0;
    return {id, ticker, partners, cores, choices.mergedMining, QVariantMap()};
}

} // namespace

QVector<CatalogueCoin> parseCatalogue(const QByteArray& body) {
    const QJsonObject root = QJsonDocument::fromJson(body).object();
    QVector<CatalogueCoin> coins;
    QSet<QString> takenEntries;
    for (const QString& id : sortedKeys(root)) {
        const QJsonObject object = root.value(id).toObject();
        // Registry keys ignore letter case: "XMR" and "xmr" would share one miner entry on
        // Windows. Only the first of them gets a row, on every platform alike.
        if (isMinable(id, object) && !takenEntries.contains(id.toCaseFolded())) {
            takenEntries.insert(id.toCaseFolded());
            coins.append(parseCoin(id, object, root));
        }
    }
    return coins;
}

bool listsCoins(const QJsonObject& root) {
    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        if (isMinable(it.key(), it.value().toObject()))
            return true;
    }
    return false;
}

QVariantMap storedEntryOf(const QVariantMap& storedEntries, const QString& coinId) {
    if (storedEntries.contains(coinId))
        return storedEntries.value(coinId).toMap();
    // The registry finds an entry stored as "XMR" under "xmr" too, and writes there: carry its
    // choices forward rather than overwrite them with a new coin's, and do so on every platform.
    for (auto it = storedEntries.cbegin(); it != storedEntries.cend(); ++it) {
        if (it.key().compare(coinId, Qt::CaseInsensitive) == 0)
            return it.value().toMap();
    }
    return QVariantMap();
}

QVector<CoinRow> catalogueRows(const QVector<CatalogueCoin>& coins,
                               const QVariantMap& storedEntries) {
    QVector<CoinRow> rows;
    rows.reserve(coins.size());
    for (const CatalogueCoin& coin : coins) {
        const CoinChoices choices =
            coinChoices(storedEntryOf(storedEntries, coin.id), coin.showByDefault);
        rows.append(coinRow(coin.id, coin.ticker, coin.partners, choices));
        rows.last().entry = minerEntry(coin, choices);
    }
    return rows;
}

QVariantMap entriesAsStored(const Settings& settings) {
    QVariantMap entries = settings.miners();
    const QString pools = QStringLiteral("mergedPools");
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        QVariantMap entry = it.value().toMap();
        entry.insert(pools, settings.minerValue(it.key(), pools, false));
        it.value() = entry;
    }
    return entries;
}

QVector<CoinRow> storedRows(const QVariantMap& storedEntries) {
    QVector<CoinRow> rows;
    for (auto it = storedEntries.cbegin(); it != storedEntries.cend(); ++it) {
        const QVariantMap entry = it.value().toMap();
        const QString ticker = entry.value(QStringLiteral("ticker")).toString();
        QVector<MergedPool> partners;
        for (const QString& id : entry.value(QStringLiteral("mergedPools")).toMap().keys())
            partners.append({id, QString(), 0, QString()});
        if (!ticker.isEmpty())
            rows.append(coinRow(it.key(), ticker, partners, coinChoices(entry)));
    }
    return rows;
}

} // namespace Vorlant
