#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QVector>

class QJsonObject;

namespace Vorlant {

class Settings;

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

// One coin row of the window, whichever source described it: the catalogue or the store.
struct CoinRow {
    QString id;
    QString ticker;
    QVector<MergedPool> partners; // ascending id; a stored row knows only their ids
    int cores = 0;        // the cores combo's row: the stored count while running, else 0 (off)
    QString mergedMining;
    // Written as the row is built: a catalogue's row refreshes its coin's miner entry, while a
    // row shown from the store writes nothing until the user chooses.
    QVariantMap entry;
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

// The rows of a catalogue's coins, each with the choices of its stored entry carried forward.
QVector<CoinRow> catalogueRows(const QVector<CatalogueCoin>& coins,
                               const QVariantMap& storedEntries);

// Every stored entry as Settings::miners() reports it, but with "mergedPools" as the rows write
// it: one map-valued key, where Settings::miners() reads a subgroup.
QVariantMap entriesAsStored(const Settings& settings);

// The rows of the entries that a catalogue wrote (those with a ticker), ascending id: what can be
// changed while the catalogue cannot be loaded. Each entry's partners are the keys of its
// "mergedPools" as the rows write it, one map-valued key.
QVector<CoinRow> storedRows(const QVariantMap& storedEntries);

} // namespace Vorlant
