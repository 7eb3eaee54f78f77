// The catalogue handler over arbitrary reply bodies: each input is the body of a reply with
// status 200, handed to a fresh main dialog over the same stored entries.
#include "FuzzSupport.h"

#include "ui/MainDialog.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

// Choices for ids of the seed catalogues, some that do not convert; every entry holds a speed.
// The server is a closed local port: the dialog's own request fails without leaving the machine.
const char kStore[] = "[General]\nserver=http://127.0.0.1:9\n[miners]\nmonero\\worker=rig1\n"
                      "monero\\mergedMining=tari\nmonero\\speed=2\nmonero\\unrelated=kept\n"
                      "haven\\speed=lots\nhaven\\mergedPools\\old=1\na\\speed=300\n";
const QStringList kWritten{"visible", "ticker",  "pool",        "worker",
                           "speed",   "running", "mergedPools", "mergedMining"};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), int(size));
    Test::loadStore(kStore);
    auto* dialog = new MainDialog;
    const QVariantMap before = storeOnDisk();
    dialog->poolResponce(200, body, QStringLiteral("pool"));
    const QVariantMap after = storeOnDisk();

    // A coin gets a row when its family is "cryptonight" and its id can name only its own entry
    // (the registry ends a key name at NUL).
    const QJsonObject root = QJsonDocument::fromJson(body).object();
    const auto namesOther = [](QChar c) {
        return c == u'/' || c == u'\\' || c.category() == QChar::Other_Control;
    };
    QStringList rows;
    for (const QString& id : root.keys())
        if (root[id]["family"] == "cryptonight" && !id.isEmpty() &&
            std::none_of(id.begin(), id.end(), namesOther))
            rows << id;
    // So each such entry keeps its old keys and gains exactly the written ones.
    for (const QString& key : (before.keys() + after.keys()))
        check((before.contains(key) == after.contains(key) &&
               bytes(before.value(key)) == bytes(after.value(key))) ||
                  (key.count(u'/') == 2 && key.startsWith("miners/") &&
                   rows.contains(key.section(u'/', 1, 1)) &&
                   kWritten.contains(key.section(u'/', 2))),
              "only written keys of the entry of a coin with a row change", key);
    for (const QString& id : rows) {
        const QString entry = "miners/" + id + '/';
        for (const QString& key : kWritten)
            check(after.contains(entry + key), "every key written", entry + key);
        check(after.value(entry + "ticker") == root[id]["ticker"].toVariant().toString().toUpper(),
              "ticker upper-cased", entry);
        if (!before.contains(entry + "speed"))
            continue;
        for (const QString& key : {"worker", "mergedMining"})
            check(after.value(entry + key).toString() == before.value(entry + key).toString(),
                  "stored choice carried forward", entry + key);
        check(after.value(entry + "speed").toUInt() == before.value(entry + "speed").toUInt(),
              "stored core count carried forward", entry);
    }
    delete dialog;
    // The dialog's failed request and deferred deletions finish before the next input.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
