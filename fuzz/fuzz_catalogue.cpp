// The catalogue handler over arbitrary reply bodies: each input is the body of a reply with
// status 200, handed to a fresh main dialog over the same stored entries.
#include "FuzzSupport.h"

#include "ui/MainDialog.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <set>

// Choices for ids of the seed catalogues (a count of cores above 8 bits among them), none of what
// the catalogue decides. The server is a closed local port: the dialog's own request fails
// without leaving the machine.
const char kStore[] = "server=http://127.0.0.1:9\n[miners]\nmonero\\worker=w1\nmonero\\speed=2\na\\other=1\n"
                      "monero\\mergedMining=tari\na\\visible=true\na\\mergedPools\\old=1\na\\speed=300\n";

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), int(size));
    Test::loadStore(kStore);
    MainDialog dialog;
    QVariantMap before = storeOnDisk();
    dialog.poolResponce(200, body, QString());
    QVariantMap after = storeOnDisk();
    // A coin gets a row when its family is "cryptonight" and its id can name only its own entry
    // (the registry ends a key name at NUL), the first of ids that differ only in letter case.
    const QJsonObject root = QJsonDocument::fromJson(body).object();
    std::set<QString> taken{QString()}; // an empty id names no entry
    for (const QString& id : root.keys()) {
        const QString entry = "miners/" + id + '/';
        if (root[id]["family"] != "cryptonight" || std::any_of(id.begin(), id.end(), [](QChar c) {
                return c == u'/' || c == u'\\' || c.category() == QChar::Other_Control;
            }) || !taken.insert(id.toCaseFolded()).second)
            continue;
        assert(after.value(entry + "ticker") == root[id]["ticker"].toVariant().toString().toUpper());
        // Every key written; a stored choice carried forward, the rest as the catalogue says.
        for (const char* key : {"visible", "ticker", "pool", "worker", "speed", "running",
                                "mergedPools", "mergedMining"}) {
            assert(after.contains(entry + key));
            before.insert(entry + key, before.value(entry + key, after.value(entry + key)));
        }
    }
    assert(after == before && "only written keys of coins with a row change, stored choices kept");
    // What the dialog left pending, its own request and deferred deletions, ends before the next
    // input.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
