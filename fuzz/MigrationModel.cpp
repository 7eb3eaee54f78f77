#include "MigrationModel.h"

#include "settings/MigrationPlan.h"
#include "settings/Settings.h"

#include <QHash>
#include <QUrl>
#include <QVector>

namespace Vorlant::Fuzz {

namespace {

const QString kMiners = QStringLiteral("miners/");

QString entryKey(const QString& entry, const char* key) {
    return kMiners + entry + u'/' + QLatin1String(key);
}

QString versionOf(const StoreMap& store, const QStringList& entries) {
    const QString stored = store.value(QStringLiteral("version")).toString();
    if (!stored.isNull())
        return stored;
    return entries.isEmpty() ? QString()
                             : versionFromFirstEngine(
                                   store.value(entryKey(entries.first(), "engine")).toString());
}

void moveAccountKeys(StoreMap& store, const QStringList& entries) {
    if (!store.value(QStringLiteral("server")).toString().isEmpty())
        return;
    QVariant server;
    QVariant email;
    QVariant apiToken;
    for (const QString& entry : entries) {
        server =
            store.value(entryKey(entry, "server"), QUrl(QString::fromLatin1(kDefaultServerUrl)));
        email = store.value(entryKey(entry, "email"), QString());
        apiToken = store.value(entryKey(entry, "apiToken"), QString());
        store.insert(entryKey(entry, "threads"), 1);
        if (store.value(entryKey(entry, "engine")).toString() ==
            QLatin1String("bytecoinminerengine"))
            store.insert(entryKey(entry, "engine"), QStringLiteral("bcn"));
        for (const char* key : {"server", "email", "userId", "apiToken"})
            store.remove(entryKey(entry, key));
    }
    store.insert(QStringLiteral("server"), server.toUrl());
    store.insert(QStringLiteral("email"), email.toString());
    store.insert(QStringLiteral("apiToken"), apiToken.toString());
}

struct OldEntry {
    QString group;
    QString engine;
    StoreMap values; // pool, worker and speed as the new entry is to hold them
    bool stays = false;
};

// An entry stays put when its engine cannot name a group, and so does every entry whose
// engine names (in any letter case, as the registry would) an entry that stays.
void findStayingEntries(QVector<OldEntry>& entries) {
    for (OldEntry& entry : entries)
        entry.stays =
            entry.engine.isEmpty() || entry.engine.contains(u'/') || entry.engine.contains(u'\\');
    bool grew = true;
    while (grew) {
        grew = false;
        for (OldEntry& entry : entries) {
            for (const OldEntry& other : entries) {
                if (!entry.stays && other.stays &&
                    other.group.compare(entry.engine, Qt::CaseInsensitive) == 0)
                    entry.stays = grew = true;
            }
        }
    }
}

void rekeyByEngine(StoreMap& store, const QStringList& groups) {
    QVector<OldEntry> entries;
    for (const QString& group : groups) {
        OldEntry entry{group, store.value(entryKey(group, "engine")).toString(), {}};
        for (const auto& [from, to] : {std::pair{"pool", "pool"}, std::pair{"worker", "worker"},
                                       std::pair{"threads", "speed"}}) {
            const QVariant value = store.value(entryKey(group, from));
            if (value.isValid())
                entry.values.insert(QLatin1String(to), value);
        }
        entries << entry;
    }
    findStayingEntries(entries);
    QHash<QString, QString> firstSpelling; // engines that differ in letter case share one entry
    for (OldEntry& entry : entries) {
        const QString folded = entry.engine.toCaseFolded();
        if (!entry.stays)
            entry.engine = *firstSpelling.insert(folded, firstSpelling.value(folded, entry.engine));
    }
    for (const OldEntry& entry : entries) {
        if (!entry.stays)
            removeTree(store, kMiners + entry.group);
    }
    for (const OldEntry& entry : entries) {
        if (entry.stays)
            continue;
        // Entries of one engine become one; the values of the last one listed win, and a key it
        // lacks stays absent.
        for (const char* key : {"pool", "worker", "speed"}) {
            const QString name = QLatin1String(key);
            if (entry.values.contains(name))
                store.insert(entryKey(entry.engine, key), entry.values.value(name));
            else
                store.remove(entryKey(entry.engine, key));
        }
    }
}

void clearMergedMining(StoreMap& store) {
    for (const QString& entry : childGroups(store, kMiners)) {
        store.remove(entryKey(entry, "mergedMining"));
        store.remove(entryKey(entry, "mergePool"));
    }
}

} // namespace

StoreMap expectedAfterMigration(const StoreBefore& before) {
    StoreMap after = before.keys;
    if (before.groups.contains(QStringLiteral("miners"))) {
        // A group without a name is an artefact of a malformed line, not an entry.
        QStringList entries = before.minerGroups;
        entries.removeAll(QString());
        const MigrationSteps steps = migrationSteps(versionOf(after, entries));
        if (steps.testFlag(MigrationStep::MoveAccountKeys))
            moveAccountKeys(after, entries);
        if (steps.testFlag(MigrationStep::RekeyByEngine))
            rekeyByEngine(after, entries);
        if (steps.testFlag(MigrationStep::ClearMergedMining))
            clearMergedMining(after);
    }
    after.insert(QStringLiteral("version"), Settings::currentVersion());
    return after;
}

} // namespace Vorlant::Fuzz
