// Start-up upgrade over arbitrary store files: each input is the whole shared store as the
// program finds it on disk.
#include "FuzzSupport.h"
#include "MigrationModel.h"

#include "settings/Settings.h"
#include "support/Fixtures.h"
#include "support/TestEnvironment.h"

#include <cstddef>
#include <cstdint>

using namespace Vorlant;
using namespace Vorlant::Fuzz;

namespace {

const QString kVersion = QStringLiteral("version");

void checkStamped(const QVariant& version, const char* where) {
    if (version.toString() != Settings::currentVersion())
        violated(where, QStringLiteral("version is %1").arg(describe(version)));
}

// Only whole entries move; nothing is ever written straight into "miners".
void checkNoLooseMinerKeys(const StoreMap& before, const StoreMap& after) {
    const QString miners = QStringLiteral("miners/");
    for (const QString& key : childKeys(after, miners)) {
        const QString path = miners + key;
        if (!before.contains(path) || !sameValue(before.value(path), after.value(path)))
            violated("no key written directly into miners",
                     QStringLiteral("%1 = %2").arg(path, describe(after.value(path))));
    }
}

// A value the store did not hold before must never be Qt's marker for an invalid value: the
// service would read the marker as text.
void checkNoNewInvalidValues(const StoreMap& before, const StoreMap& after,
                             const QByteArray& beforeFile, const QByteArray& afterFile) {
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (!it.value().isValid() && (!before.contains(it.key()) || before[it.key()].isValid()))
            violated("no invalid value written", it.key());
    }
    const QByteArray marker("@Invalid()");
    if (afterFile.count(marker) > beforeFile.count(marker))
        violated("no new invalid marker in the file", QString::fromUtf8(afterFile));
}

QByteArray migrateStore(const QByteArray& contents) {
    if (!Test::loadStoreBytes(contents))
        violated("store file writable", Test::storeFilePath());
    Settings::instance().migrate();
    checkStamped(Settings::instance().value(kVersion), "version stamped in the running program");
    return Test::syncedStoreBytes();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    startApplication((*argv)[0]);
    Settings::instance();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    // The input as Qt itself writes it back, for comparisons free of spelling variants.
    bool wellFormed = false;
    const QByteArray inputRewritten = rewrittenByQt(input, &wellFormed);
    const StoreMap before = parseStore(inputRewritten);

    const QByteArray upgraded = migrateStore(input);
    const StoreMap after = parseStore(upgraded);
    checkStamped(after.value(kVersion), "version stamped on disk");
    checkNoLooseMinerKeys(before, after);
    checkNoNewInvalidValues(before, after, inputRewritten, upgraded);
    const QString wrong = differences(roundTrip(expectedAfterMigration(before)), after);
    if (!wrong.isEmpty())
        violated("entries moved, kept and stamped as designed", wrong);

    Settings::instance().migrate();
    const QByteArray again = Test::syncedStoreBytes();
    if (again != upgraded)
        violated("a second upgrade in the same process changes nothing",
                 QString::fromUtf8(upgraded + "\n---- became\n" + again));
    // Compared by key: Qt drops unreachable keys of a malformed file on its second write.
    const QString changed = differences(after, parseStore(migrateStore(upgraded)));
    if (!changed.isEmpty())
        violated("the next start changes nothing", changed);
    return 0;
}
