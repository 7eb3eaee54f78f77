// Start-up upgrade over arbitrary store files: each input is the whole shared store as the
// program finds it on disk.
#include "FuzzSupport.h"

#include "settings/Settings.h"

#include <QSet>

#include <algorithm>

struct Entry {
    QString engine; // null when the entry has none; "bcn" also for the oldest engine's name
    QByteArray poolAndWorker;
    QStringList keys; // nested ones included
};

// The entries of "miners" by name, in the order that the upgrade lists them.
QMap<QString, Entry> readEntries() {
    QSettings store = Test::rawStore();
    store.beginGroup("miners");
    QMap<QString, Entry> entries;
    // Qt reads a list back as a list of either kind, as its items tell.
    const auto value = [&store](const char* key) {
        const QVariant value = store.value(key);
        return bytes(value.userType() == QMetaType::QStringList ? value.toList() : value);
    };
    for (const QString& name : store.childGroups()) {
        store.beginGroup(name);
        entries.insert(name,
                       {store.contains("engine") ? store.value("engine").toString() : QString(),
                        value("pool") + value("worker"), store.allKeys()});
        entries[name].engine.replace("bytecoinminerengine", "bcn");
        store.endGroup();
    }
    entries.remove(QString()); // a malformed line's artefact, not an entry
    return entries;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Qt's INI reader does not read back a NUL that it wrote, and a registry string holds none.
    Test::loadStore(QByteArray(reinterpret_cast<const char*>(data), int(size)).replace('\0', ' '));
    const QVariantMap old = storeOnDisk();
    const QMap<QString, Entry> before = readEntries();
    Settings::instance().migrate();
    const QVariantMap now = storeOnDisk();
    const QMap<QString, Entry> after = readEntries();

    check(now.value("version") == Settings::currentVersion(), "version stamped", QString());
    // Qt's write-back alone can turn a malformed line into a loose key, but never into one
    // that holds what an entry held.
    for (auto it = old.cbegin(); it != old.cend(); ++it) {
        const QString loose = "miners/" + it.key().section(u'/', -1);
        check(!it.key().startsWith("miners/") || !now.contains(loose) ||
                  bytes(now[loose]) != bytes(*it) || bytes(old.value(loose)) == bytes(*it),
              "nothing written straight into miners", loose);
    }
    QSet<QByteArray> had, kept, has;
    for (auto entry = before.cbegin(); entry != before.cend(); ++entry) {
        had << entry->poolAndWorker;
        // Entries of one engine become one, the later one listed winning; the registry's keys,
        // and so the upgrade everywhere, ignore the engine's letter case.
        if (std::none_of(std::next(entry), before.cend(), [&](const Entry& later) {
                return later.engine.compare(entry->engine, Qt::CaseInsensitive) == 0;
            }))
            kept << entry->poolAndWorker;
        // A moved entry loses its engine: only what another moved in may stand in its place.
        const Entry left = after.value(entry.key());
        check(entry->engine.isNull() || !left.engine.isNull() ||
                  QSet<QString>{"pool", "worker", "speed"}.contains(
                      QSet<QString>(left.keys.cbegin(), left.keys.cend())),
              "a moved entry leaves nothing behind", entry.key());
    }
    for (const Entry& entry : after)
        has << entry.poolAndWorker;
    kept.remove(bytes(QVariant()) + bytes(QVariant())); // without pool and worker: nothing lost
    check(had.contains(has), "no key mixed between entries", QString());
    check(has.contains(kept), "no entry lost", QString());
    // A malformed file can take more than one write-back to settle: held against a write-back
    // of the same file, a second upgrade changes nothing.
    const QByteArray upgraded = Test::readFile(Test::rawStore().fileName());
    Settings::instance().migrate();
    const QVariantMap again = storeOnDisk();
    Test::loadStore(upgraded);
    Test::rawStore().setValue("version", Settings::currentVersion());
    check(bytes(storeOnDisk()) == bytes(again), "a second upgrade changes nothing", QString());
    return 0;
}
