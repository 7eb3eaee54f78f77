// The catalogue handler over arbitrary reply bodies: each input is the body of a reply with
// status 200, handed to a freshly built main dialog over the same stored entries.
#include "FuzzSupport.h"

#include "settings/Settings.h"
#include "ui/MainDialog.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

using namespace Vorlant;
using namespace Vorlant::Fuzz;

namespace {

// Stored entries for some ids of the seed catalogues, so the handler also carries choices
// forward, including ones that do not convert. The server is a closed local port: the
// dialog's own request fails without leaving the machine.
const char kStore[] = R"([General]
email=fuzz@example.org
proxy=no
server=http://127.0.0.1:9
version=5.10

[miners]
monero\mergedMining=tari
monero\pool=old.pool.example:1
monero\running=true
monero\speed=2
monero\ticker=OLD
monero\visible=true
monero\worker=rig1
monero\unrelated=kept
haven\running=perhaps
haven\speed=lots
haven\mergedPools\old=1
a\speed=300
)";

const QSet<QString> kWrittenKeys{QStringLiteral("visible"),     QStringLiteral("ticker"),
                                 QStringLiteral("pool"),        QStringLiteral("worker"),
                                 QStringLiteral("speed"),       QStringLiteral("running"),
                                 QStringLiteral("mergedPools"), QStringLiteral("mergedMining")};

QJsonObject memberObject(const QJsonObject& object, const char* name) {
    return object.value(QLatin1String(name)).toObject();
}

QString memberText(const QJsonObject& object, const char* name) {
    return object.value(QLatin1String(name)).toVariant().toString();
}

// The ids that get a row: family exactly "cryptonight", and a name that can only name the
// coin's own entry.
QSet<QString> coinIds(const QJsonObject& root) {
    QSet<QString> ids;
    for (auto it = root.begin(); it != root.end(); ++it) {
        const QString& id = it.key();
        if (memberText(it.value().toObject(), "family") == QLatin1String("cryptonight") &&
            namesOwnEntry(id))
            ids.insert(id);
    }
    return ids;
}

QString entryPrefix(const QString& id) {
    return QStringLiteral("miners/%1/").arg(id);
}

// "host:port" with the catalogue's host and a plain decimal port of 16 bits; where the port
// is a whole number that fits 32 bits, exactly that number modulo 65536.
void checkPool(const QString& id, const QJsonObject& coin, const QString& pool) {
    const QJsonObject server = memberObject(coin, "server");
    const int colon = pool.lastIndexOf(u':');
    const QString port = pool.mid(colon + 1);
    bool isNumber = false;
    const uint value = port.toUInt(&isNumber);
    if (colon < 0 || pool.left(colon) != memberText(server, "ip") || !isNumber || value > 65535 ||
        port != QString::number(value))
        violated("pool is the catalogue's host:port", id + QStringLiteral(": ") + pool);
    const QJsonValue stratumPort = server.value(QLatin1String("stratumPort"));
    const double number = stratumPort.toDouble(-1);
    if (stratumPort.isDouble() && number >= 0 && number < 4294967296.0 &&
        std::floor(number) == number && value != quint64(number) % 65536)
        violated("pool port is the stratum port modulo 65536", id + QStringLiteral(": ") + pool);
}

// A stored choice survives the rewrite: "worker", "mergedMining", "speed" (1 when missing).
void checkCarriedForward(const QString& id, const StoreMap& before, const StoreMap& after) {
    const QString prefix = entryPrefix(id);
    for (const char* key : {"worker", "mergedMining"}) {
        const QString path = prefix + QLatin1String(key);
        if (after.value(path).toString() != before.value(path).toString())
            violated("stored choice carried forward", path);
    }
    const QString speed = prefix + QStringLiteral("speed");
    const QString expected =
        before.contains(speed) ? QString::number(before[speed].toUInt()) : QStringLiteral("1");
    if (after.value(speed).toString() != expected)
        violated("stored core count carried forward",
                 QStringLiteral("%1: %2 became %3")
                     .arg(speed, describe(before.value(speed)), describe(after.value(speed))));
}

void checkEntry(const QString& id, const QJsonObject& coin, const StoreMap& before,
                const StoreMap& after) {
    const QString prefix = entryPrefix(id);
    const bool known =
        !childKeys(before, prefix).isEmpty() || !childGroups(before, prefix).isEmpty();
    QSet<QString> expected = kWrittenKeys;
    for (const QString& key : childKeys(before, prefix))
        expected.insert(key);
    const QStringList keys = childKeys(after, prefix);
    if (QSet<QString>(keys.cbegin(), keys.cend()) != expected)
        violated("entry holds its old keys and exactly the written ones",
                 id + QStringLiteral(": ") + keys.join(u' '));
    checkPool(id, coin, after.value(prefix + QStringLiteral("pool")).toString());
    if (after.value(prefix + QStringLiteral("ticker")).toString() !=
        memberText(coin, "ticker").toUpper())
        violated("ticker upper-cased", id);
    if (known)
        checkCarriedForward(id, before, after);
}

// Every changed key lies in the entry of a coin that got a row.
void checkOnlyCoinEntriesChanged(const QSet<QString>& ids, const StoreMap& before,
                                 const StoreMap& after) {
    QSet<QString> keys;
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        keys.insert(it.key());
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        keys.insert(it.key());
    for (const QString& key : keys) {
        if (before.contains(key) == after.contains(key) &&
            sameValue(before.value(key), after.value(key)))
            continue;
        const QStringList parts = key.split(u'/');
        if (parts.size() != 3 || parts[0] != QLatin1String("miners") || !ids.contains(parts[1]) ||
            !kWrittenKeys.contains(parts[2]))
            violated("only keys of a listed coin's own entry written",
                     QStringLiteral("%1: %2 became %3")
                         .arg(key, describe(before.value(key)), describe(after.value(key))));
    }
}

StoreMap storeNow() {
    return parseStore(storeFile());
}

// One dialog with one row before fuzzing starts: the caches that Qt fills once per process
// (fonts, style) must not count as memory an input leaked.
void warmUp() {
    loadStore(QByteArray(kStore));
    MainDialog dialog;
    dialog.poolResponce(200, R"({"warm-up":{"family":"cryptonight","ticker":"w"}})", QString());
    QCoreApplication::processEvents();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    startApplication((*argv)[0]);
    warmUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), int(size));
    loadStore(QByteArray(kStore));
    auto dialog = std::make_unique<MainDialog>();
    const StoreMap before = storeNow();

    dialog->poolResponce(200, body, QStringLiteral("pool"));
    const StoreMap after = storeNow();

    const QJsonObject root = QJsonDocument::fromJson(body).object();
    const QSet<QString> ids = coinIds(root);
    checkOnlyCoinEntriesChanged(ids, before, after);
    for (const QString& id : ids)
        checkEntry(id, root.value(id).toObject(), before, after);

    dialog.reset();
    // Lets the dialog's failed request and deferred deletions finish before the next input.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
