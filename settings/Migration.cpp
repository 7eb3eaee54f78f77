#include "settings/Settings.h"

#include "settings/MigrationPlan.h"
#include "settings/SettingsPrivate.h"
#include "settings/StoreGuard.h"

#include <QHash>
#include <QUrl>
#include <QVector>

#include <algorithm>

namespace Vorlant {

namespace {

const QString kMiners = QStringLiteral("miners");

// A malformed line such as "\key=..." in the miners section makes Qt list a group without a
// name. It is no entry: entering it reaches the keys of "miners" itself, and removing it
// removes every entry.
QStringList entryNames(QSettings& store) {
    QStringList names = store.childGroups();
    names.removeAll(QString());
    return names;
}

QString storedVersion(QSettings& store) {
    const QString version = storedValue(store, QStringLiteral("version"), QString()).toString();
    if (!version.isNull())
        return version;
    // The oldest layouts kept no version; the engine of their first entry tells them apart.
    GroupScope miners(store, {kMiners});
    const QStringList entries = entryNames(store);
    if (entries.isEmpty())
        return QString();
    GroupScope first(store, {entries.first()});
    return versionFromFirstEngine(storedValue(store, QStringLiteral("engine")).toString());
}

// --- Step A: releases before 1.07 kept the account in every miner entry.

struct AccountKeys {
    QVariant server;
    QString email;
    QString apiToken;
};

AccountKeys takeAccountKeys(QSettings& store) {
    AccountKeys account;
    GroupScope miners(store, {kMiners});
    for (const QString& entry : entryNames(store)) {
        GroupScope scope(store, {entry});
        // Each entry carried the account; where they disagree, the last one listed wins.
        account.server = storedValue(store, QStringLiteral("server"),
                                     QUrl(QString::fromLatin1(kDefaultServerUrl)));
        account.email = storedValue(store, QStringLiteral("email"), QString()).toString();
        account.apiToken = storedValue(store, QStringLiteral("apiToken"), QString()).toString();
        store.setValue(QStringLiteral("threads"), 1);
        if (storedValue(store, QStringLiteral("engine")).toString() ==
            QLatin1String("bytecoinminerengine"))
            store.setValue(QStringLiteral("engine"), QStringLiteral("bcn"));
        for (const char* key : {"server", "email", "userId", "apiToken"})
            store.remove(QLatin1String(key));
    }
    return account;
}

void moveAccountKeys(QSettings& store) {
    // A top-level server means this step has run before, whatever the version says.
    if (!storedValue(store, QStringLiteral("server")).toString().isEmpty())
        return;
    const AccountKeys account = takeAccountKeys(store);
    store.sync();
    store.setValue(QStringLiteral("server"), account.server.toUrl());
    store.setValue(QStringLiteral("email"), account.email);
    store.setValue(QStringLiteral("apiToken"), account.apiToken);
}

// --- Step B: before 1.10 entries were not named after the coin they mine.

struct OldEntry {
    QString group;
    QString engine;
    QVariant pool;
    QVariant worker;
    QVariant threads;
    bool keep = false;
};

QVector<OldEntry> readOldEntries(QSettings& store) {
    QVector<OldEntry> entries;
    GroupScope miners(store, {kMiners});
    for (const QString& group : entryNames(store)) {
        GroupScope scope(store, {group});
        entries.append({group, storedValue(store, QStringLiteral("engine")).toString(),
                        storedValue(store, QStringLiteral("pool")),
                        storedValue(store, QStringLiteral("worker")),
                        storedValue(store, QStringLiteral("threads"))});
    }
    return entries;
}

// An entry without a usable engine stays where it is, and so does any entry whose engine names
// a staying one: moving it there would mix two entries. Registry keys ignore letter case.
void markEntriesToKeep(QVector<OldEntry>& entries) {
    for (OldEntry& entry : entries)
        entry.keep = !isUsableCoinId(entry.engine);
    const auto namesKeptEntry = [&entries](const QString& engine) {
        return std::any_of(entries.cbegin(), entries.cend(), [&engine](const OldEntry& other) {
            return other.keep && other.group.compare(engine, Qt::CaseInsensitive) == 0;
        });
    };
    for (bool changed = true; changed;) {
        changed = false;
        for (OldEntry& entry : entries) {
            if (!entry.keep && namesKeptEntry(entry.engine))
                entry.keep = changed = true;
        }
    }
}

// Registry keys ignore letter case, so on Windows engines "BCN" and "bcn" land in one entry.
// Name that entry by the first spelling everywhere, so that both platforms merge alike.
void unifyEngineCase(QVector<OldEntry>& entries) {
    QHash<QString, QString> firstSpelling;
    for (OldEntry& entry : entries) {
        if (entry.keep)
            continue;
        const QString folded = entry.engine.toCaseFolded();
        const auto known = firstSpelling.constFind(folded);
        if (known == firstSpelling.cend())
            firstSpelling.insert(folded, entry.engine);
        else
            entry.engine = *known;
    }
}

// A key the old entry lacked stays absent: writing the invalid value would leave Qt's
// "@Invalid()" marker in the store, which the service would read as text.
void writeOrRemove(QSettings& store, const QString& key, const QVariant& value) {
    if (value.isValid())
        store.setValue(key, value);
    else
        store.remove(key);
}

// A malformed INI section such as "[/miners]" holds lines that no lookup reaches, so no removal
// reaches them either; Qt's next write-back (the version stamp's, at the latest) turns them into
// readable keys, into an entry or a moved entry's place, say. Qt then lists a group without a
// name at the top. Nothing can read such lines, so the store is written anew without them.
void dropUnreachableLines(QSettings& store) {
    if (!store.childGroups().contains(QString()))
        return;
    QVariantMap reachable;
    for (const QString& key : store.allKeys()) {
        if (store.contains(key))
            reachable.insert(key, storedValue(store, key));
    }
    store.clear();
    for (auto it = reachable.cbegin(); it != reachable.cend(); ++it)
        store.setValue(it.key(), it.value());
}

// Everything is read before anything moves: an engine may name another old entry, or its own.
void rekeyByEngine(QSettings& store) {
    QVector<OldEntry> entries = readOldEntries(store);
    markEntriesToKeep(entries);
    unifyEngineCase(entries);
    {
        GroupScope miners(store, {kMiners});
        for (const OldEntry& entry : entries) {
            if (!entry.keep)
                store.remove(entry.group);
        }
        // Two entries of one engine merge; the later one listed wins.
        for (const OldEntry& entry : entries) {
            if (entry.keep)
                continue;
            GroupScope scope(store, {entry.engine});
            writeOrRemove(store, QStringLiteral("pool"), entry.pool);
            writeOrRemove(store, QStringLiteral("worker"), entry.worker);
            writeOrRemove(store, QStringLiteral("speed"), entry.threads);
        }
    }
    store.sync();
}

// --- Step C: the old merged-mining keys meant something else; the choice starts afresh.

void clearMergedMining(QSettings& store) {
    GroupScope miners(store, {kMiners});
    for (const QString& entry : entryNames(store)) {
        GroupScope scope(store, {entry});
        store.remove(QStringLiteral("mergedMining"));
        store.remove(QStringLiteral("mergePool"));
    }
}

void runSteps(QSettings& store, MigrationSteps steps) {
    if (steps.testFlag(MigrationStep::MoveAccountKeys))
        moveAccountKeys(store);
    if (steps.testFlag(MigrationStep::RekeyByEngine))
        rekeyByEngine(store);
    if (steps.testFlag(MigrationStep::ClearMergedMining))
        clearMergedMining(store);
    // Step D: 5.x releases before 5.7 may have left the autostart entry in an older form.
    if (steps.testFlag(MigrationStep::RefreshAutostart))
        Settings::refreshAutostart();
}

} // namespace

void Settings::migrate() {
    d->guardStoreFile();
    QSettings& store = *d->store;
    dropUnreachableLines(store);
    if (store.childGroups().contains(kMiners))
        runSteps(store, migrationSteps(storedVersion(store)));
    store.setValue(QStringLiteral("version"), currentVersion());
}

} // namespace Vorlant
