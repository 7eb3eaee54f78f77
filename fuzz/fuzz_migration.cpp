// Start-up upgrade over arbitrary store files: each input is the whole shared store as the
// program finds it on disk.
#include "FuzzSupport.h"
#include "MigrationModel.h"

#include "settings/Settings.h"

#include <cstddef>
#include <cstdint>

using namespace Vorlant;
using namespace Vorlant::Fuzz;

namespace {

const QString kVersion = QStringLiteral("version");

// The store before and after one upgrade. Qt's write-back alone can change a malformed file
// (a line no lookup reached may come back as a key), so the upgraded file is held against the
// input as Qt writes it back untouched, not against the input itself.
struct Upgrade {
    QByteArray input;
    StoreBefore found; // what the program sees: the keys a lookup reaches, the groups listed
    QByteArray untouchedFile;
    StoreMap untouched;
    QByteArray upgradedFile;
    StoreMap upgraded;
};

void checkStamped(const QVariant& version, const char* where) {
    if (version.toString() != Settings::currentVersion())
        violated(where, QStringLiteral("version is %1").arg(describe(version)));
}

QByteArray migrateStore(const QByteArray& contents) {
    loadStore(contents);
    Settings::instance().migrate();
    checkStamped(Settings::instance().value(kVersion), "version stamped in the running program");
    return storeFile();
}

Upgrade upgrade(const QByteArray& input) {
    Upgrade run{input,
                {parseStore(input), listedGroups(input, QString()),
                 listedGroups(input, QStringLiteral("miners"))},
                rewrittenByQt(input),
                {},
                migrateStore(input),
                {}};
    run.untouched = parseStore(run.untouchedFile);
    run.upgraded = parseStore(run.upgradedFile);
    return run;
}

// Only whole entries move; nothing is ever written straight into "miners".
void checkNoLooseMinerKeys(const Upgrade& run) {
    const QString miners = QStringLiteral("miners/");
    for (const QString& key : childKeys(run.upgraded, miners)) {
        const QString path = miners + key;
        if (!run.untouched.contains(path) ||
            !sameValue(run.untouched.value(path), run.upgraded.value(path)))
            violated("no key written directly into miners",
                     QStringLiteral("%1 = %2").arg(path, describe(run.upgraded.value(path))));
    }
}

// A value the store did not hold before must never be Qt's marker for an invalid value: the
// service would read the marker as text.
void checkNoNewInvalidValues(const Upgrade& run) {
    for (auto it = run.upgraded.cbegin(); it != run.upgraded.cend(); ++it) {
        if (!it.value().isValid() && run.untouched.value(it.key(), 0).isValid())
            violated("no invalid value written", it.key());
    }
    const QByteArray marker("@Invalid()");
    if (run.upgradedFile.count(marker) > run.untouchedFile.count(marker))
        violated("no new invalid marker in the file", QString::fromUtf8(run.upgradedFile));
}

// Every key the design changes holds what the design says; every other key is as Qt's
// write-back leaves it.
void checkAsDesigned(const Upgrade& run) {
    const StoreMap designed = roundTrip(expectedAfterMigration(run.found));
    StoreMap expected = withChanges(run.untouched, roundTrip(run.found.keys), designed);
    // A removed key may come back from a line that no lookup reached under the same name.
    const StoreMap surfaced = surfacedByQt(run.input);
    for (auto it = surfaced.cbegin(); it != surfaced.cend(); ++it) {
        if (run.found.keys.contains(it.key()) && !designed.contains(it.key()))
            expected.insert(it.key(), it.value());
    }
    const QString wrong = differences(expected, run.upgraded);
    if (!wrong.isEmpty()) {
        violated("entries moved, kept and stamped as designed",
                 wrong +
                     QStringLiteral("-- found groups %1, miners %2\n-- found\n%3-- designed\n%4")
                         .arg(run.found.groups.join(u'|'), run.found.minerGroups.join(u'|'),
                              dump(run.found.keys), dump(designed)));
    }
}

void checkNothingLeftToDo(const Upgrade& run) {
    Settings::instance().migrate();
    const QByteArray again = storeFile();
    if (again != run.upgradedFile)
        violated("a second upgrade in the same process changes nothing",
                 QString::fromUtf8(run.upgradedFile + "\n---- became\n" + again));
    const Upgrade next = upgrade(run.upgradedFile);
    const QString changed = differences(next.untouched, next.upgraded);
    if (!changed.isEmpty())
        violated("the next start changes nothing", changed);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    startApplication((*argv)[0]);
    Settings::instance();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Upgrade run = upgrade(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    checkStamped(run.upgraded.value(kVersion), "version stamped on disk");
    checkNoLooseMinerKeys(run);
    checkNoNewInvalidValues(run);
    checkAsDesigned(run);
    checkNothingLeftToDo(run);
    return 0;
}
