// Start-up upgrade over arbitrary store files: each input is the whole shared store as the
// program finds it on disk.
#include "FuzzSupport.h"

#include "settings/Settings.h"
#include "settings/StoreFileScan.h"

#include <QDebug>
#include <QSet>

// The entries of "miners" by name, in the order that the upgrade lists them, each with its keys
// (nested ones included); not the nameless group that a malformed line makes.
QMap<QString, QVariantMap> entriesOf(const QVariantMap& store) {
    QMap<QString, QVariantMap> entries;
    for (auto it = store.cbegin(); it != store.cend(); ++it)
        if (it.key().startsWith("miners/") && it.key().indexOf(u'/', 7) > 7)
            entries[it.key().section(u'/', 1, 1)].insert(it.key().section(u'/', 2), *it);
    return entries;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Qt's INI reader does not read back a NUL that it wrote, and a registry string holds none.
    // A byte order mark has Qt's reader take every store after it as UTF-8, where a fresh reader
    // takes Latin-1: the process's first handle on the store and the test's would differ.
    QByteArray input = QByteArray(reinterpret_cast<const char*>(data), int(size)).replace('\0', ' ');
    if (input.startsWith("\xef\xbb\xbf"))
        input.remove(0, 3);
    // What the upgrade may read of it: a damaged serialized value is no value.
    Test::loadStore(withoutDamagedValues(input, damagedValues(input)));
    const auto before = entriesOf(storeOnDisk());
    Test::loadStore(input);
    Settings::instance().migrate();
    assert(damagedValues(Test::readFile(Test::rawStore().fileName())).isEmpty() && "nothing damaged left");
    const auto after = entriesOf(storeOnDisk());
    assert(Test::rawStore().value("version") == Settings::currentVersion());
    // The registry holds entries whose names differ only in letter case as one: the upgrade
    // makes no more such twins.
    const auto clashes = [](auto n) { return n.join('/').toCaseFolded().split('/').removeDuplicates(); };
    assert(clashes(after.keys()) <= clashes(before.keys()));
    // Pool and worker as text: so NaN equals itself, and a list as either kind Qt reads it back.
    // A number reads back as text once Qt has written the file; an empty list as no value.
    const auto text = [](const QVariant& v) {
        const bool list = v.userType() == QMetaType::QVariantList || v.userType() == QMetaType::QStringList;
        return list || !v.isValid() ? v.toStringList() : QStringList{v.toString()};
    };
    const auto pair = [&](auto e) { return text(e["pool"]) << "/" << text(e["worker"]); };
    QList<QStringList> had, has;
    QHash<QString, QStringList> last;
    for (const QString& name : before.keys()) {
        had << pair(before[name]);
        // Entries of one engine merge, the later one listed winning; the registry's keys, and so
        // the upgrade everywhere, ignore the engine's letter case. Those without one stay.
        const QString engine = before[name]["engine"].toString().replace("bytecoinminerengine", "bcn");
        last[engine.toCaseFolded()] = pair(before[name]);
        // A moved entry loses its engine: only what another moved in may stand in its place.
        const QStringList left = after[name].keys();
        assert(engine.isNull() || left.contains("engine") ||
               (QSet<QString>{"pool", "worker", "speed"}.contains(QSet<QString>(left.begin(), left.end()))));
    }
    for (const QVariantMap& entry : after)
        has << pair(entry);
    // No pool or worker mixed between entries, nor copied, as by a moved entry left in its place.
    for (const QStringList& held : has)
        assert(has.count(held) <= had.count(held) && "no key mixed between entries");
    // One without pool and worker has nothing to lose.
    for (const QStringList& kept : last)
        assert(kept == pair(QVariantMap()) || (has.contains(kept) && "no entry lost"));
    // A malformed file can take more than one write-back to settle: held against a write-back
    // of the same file, a second upgrade changes nothing.
    const QByteArray upgraded = Test::readFile(Test::rawStore().fileName());
    Settings::instance().migrate();
    QString again, settled; // as text, so that NaN equals itself
    QDebug(&again) << storeOnDisk();
    Test::loadStore(upgraded);
    Test::rawStore().setValue("version", Settings::currentVersion());
    QDebug(&settled) << storeOnDisk();
    assert(again == settled && "a second upgrade changes nothing");
    return 0;
}
