#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <QVector>

class QJsonObject;

namespace Vorlant {

// A merged-mining partner of a catalogue coin.
struct MergedPool {
    QString id;
    QString host;
    quint16 port = 0;
    QString ticker; // upper-cased, of the catalogue's coin of this id; empty when none is listed
};

// One minable coin of the pool catalogue, as the coin rows need it.
struct CatalogueCoin {
    QString id;
    QString ticker; // upper-cased
    bool showByDefault = false;
    QString pool;                 // "host:port"
    QVector<MergedPool> partners; // ascending id
};

// The user's choices for one coin, carried forward from its stored miner entry.
struct CoinChoices {
    bool visible = false;
    QString mergedMining;
    quint32 speed = 1;
    QString worker;
    bool running = false;
};

// The coins of a catalogue reply that get a row: family exactly "cryptonight" and a usable id,
// in ascending id order, the first of ids that differ only in letter case. A body that is not
// a JSON object gives none.
QVector<CatalogueCoin> parseCatalogue(const QByteArray& body);

// Whether a catalogue's root object lists at least one coin that parseCatalogue() gives.
bool listsCoins(const QJsonObject& root);

// The stored entry of a coin among all entries (as Settings::miners() reports them); one whose
// name differs only in letter case counts when there is no exact one.
QVariantMap storedEntryOf(const QVariantMap& storedEntries, const QString& coinId);

// The choices for a coin: initial ones for a coin without a stored entry, otherwise those of
// the stored entry (as reported by Settings::miners()).
CoinChoices coinChoices(const CatalogueCoin& coin, const QVariantMap& storedEntry);

// The partner's pool address as stored under "mergedPools".
QUrl mergedPoolUrl(const MergedPool& partner);

// The miner entry written for a coin row (the eight keys that Settings::setMiner() takes).
QVariantMap minerEntry(const CatalogueCoin& coin, const CoinChoices& choices);

} // namespace Vorlant
