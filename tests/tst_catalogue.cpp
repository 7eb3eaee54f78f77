#include "settings/Settings.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"
#include "ui/MainDialog.h"
#include "ui/MergedMiningModel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace Vorlant;

namespace {

// Nothing listens here: the dialog's own catalogue request fails without leaving the machine.
const char kUnreachableServer[] = "http://127.0.0.1:9";

// The ticker label and the two combos of a coin row (row 0 is the header).
struct CoinRow {
    QLabel* ticker = nullptr;
    QComboBox* cores = nullptr;
    QComboBox* mergedMining = nullptr;
};

CoinRow coinRow(QWidget& dialog, int row) {
    auto* grid = dialog.findChild<QGridLayout*>(QStringLiteral("m_coins_layout"));
    const auto cell = [&](int column) {
        QLayoutItem* item = grid->itemAtPosition(row, column);
        return item ? item->widget() : nullptr;
    };
    return {qobject_cast<QLabel*>(cell(0)), qobject_cast<QComboBox*>(cell(1)),
            qobject_cast<QComboBox*>(cell(2))};
}

int coinRowCount(QWidget& dialog) {
    int rows = 0;
    while (coinRow(dialog, rows + 1).ticker)
        ++rows;
    return rows;
}

QJsonObject coin(const QString& ticker, bool showByDefault, const QJsonObject& merged = {}) {
    const QJsonObject server{{"ip", "h"}, {"stratumPort", 443}, {"merged", merged}};
    return {{"family", "cryptonight"},
            {"ticker", ticker},
            {"showByDefault", showByDefault},
            {"server", server}};
}

QJsonObject twoPartners() {
    return {{"wow", QJsonObject{{"ip", "w"}}},
            {"tari", QJsonObject{{"ip", "t"}, {"stratumPort", 3334 + 65536}}}};
}

QByteArray body(const QJsonObject& root) {
    return QJsonDocument(root).toJson();
}

// The partner model is process-wide and only grows, so every case names its coins afresh.
QString freshId(const char* base) {
    static int counter = 0;
    return QString::fromLatin1(base) + QString::number(++counter);
}

QString entryKey(const QString& coin, const char* key) {
    return QStringLiteral("miners/%1/%2").arg(coin, QString::fromLatin1(key));
}

// Keys whose value differs between two snapshots (added, removed or changed).
QStringList changedKeys(const QVariantMap& before, const QVariantMap& after) {
    QStringList keys;
    for (const QString& key : before.keys() + after.keys()) {
        if (!keys.contains(key) &&
            (before.value(key) != after.value(key) || before.contains(key) != after.contains(key)))
            keys.append(key);
    }
    keys.sort();
    return keys;
}

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init();

    void handling_data();
    void handling();
    void partnersRegisteredAndStored();
    void failedRepliesWriteNothing_data();
    void failedRepliesWriteNothing();
    void malformedIdsAreSkipped();
    void userChoicesAreStored();
    void catalogueRequestedFromServer();

private:
    std::unique_ptr<MainDialog> m_dialog;
};

void TestCatalogue::init() {
    Test::clearStore();
    Settings::instance().setValue(QStringLiteral("server"),
                                  QString::fromLatin1(kUnreachableServer));
    m_dialog = std::make_unique<MainDialog>();
}

void TestCatalogue::handling_data() {
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<bool>("showByDefault");
    QTest::addColumn<QVariantMap>("expected");
    QTest::addColumn<int>("coresIndex");
    QTest::addColumn<int>("mergedIndex");
    const auto entry = [](bool visible, const QString& worker, uint speed, bool running,
                          const QString& mergedMining) {
        return QVariantMap{{"visible", visible},
                           {"worker", worker},
                           {"speed", speed},
                           {"running", running},
                           {"mergedMining", mergedMining}};
    };
    const uint beyond = uint(QThread::idealThreadCount()) + 1;

    QTest::newRow("new coin, shown")
        << QVariantMap() << true << entry(true, "", 1, false, "") << 0 << 0;
    QTest::newRow("new coin, hidden")
        << QVariantMap() << false << entry(false, "", 1, false, "") << 0 << 0;
    QTest::newRow("stored entry wins") << entry(true, "rig", 1, true, "wow") << false
                                       << entry(true, "rig", 1, true, "wow") << 1 << 2;
    QTest::newRow("stored entry without visible")
        << QVariantMap{{"worker", "rig"}} << true << entry(false, "rig", 1, false, "") << 0 << 0;
    QTest::newRow("stored entry without keys") << QVariantMap{{"mergedPools/tari", "http://t:1"}}
                                               << true << entry(false, "", 1, false, "") << 0 << 0;
    QTest::newRow("not running shows 0, keeps speed")
        << QVariantMap{{"running", false}, {"speed", beyond}} << false
        << entry(false, "", beyond, false, "") << 0 << 0;
    QTest::newRow("running with speed above the core count")
        << QVariantMap{{"running", true}, {"speed", beyond}} << false
        << entry(false, "", beyond, true, "") << -1 << 0;
    QTest::newRow("speed above 255 is kept") << QVariantMap{{"running", true}, {"speed", 257}}
                                             << false << entry(false, "", 257, true, "") << -1 << 0;
    QTest::newRow("stored partner that is gone") << QVariantMap{{"mergedMining", "old"}} << false
                                                 << entry(false, "", 1, false, "old") << 0 << -1;
    QTest::newRow("stored partner in other case") << QVariantMap{{"mergedMining", "Tari"}} << false
                                                  << entry(false, "", 1, false, "Tari") << 0 << -1;
}

void TestCatalogue::handling() {
    QFETCH(QVariantMap, stored);
    QFETCH(bool, showByDefault);
    QFETCH(QVariantMap, expected);
    QFETCH(int, coresIndex);
    QFETCH(int, mergedIndex);
    const QString id = freshId("xmr");
    QSettings raw = Test::rawStore();
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        raw.setValue(entryKey(id, qPrintable(it.key())), it.value());

    m_dialog->poolResponce(200, body({{id, coin("xmr", showByDefault, twoPartners())}}),
                           QStringLiteral("pool"));

    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(raw.value(entryKey(id, qPrintable(it.key()))).toString(), it.value().toString());
    QCOMPARE(raw.value(entryKey(id, "ticker")).toString(), QStringLiteral("XMR"));
    QCOMPARE(raw.value(entryKey(id, "pool")).toString(), QStringLiteral("h:443"));
    const CoinRow row = coinRow(*m_dialog, 1);
    QCOMPARE(row.cores->currentIndex(), coresIndex);
    QCOMPARE(row.mergedMining->currentIndex(), mergedIndex);
    if (mergedIndex >= 0)
        QCOMPARE(row.mergedMining->currentData().toString(), expected.value("mergedMining"));
}

void TestCatalogue::partnersRegisteredAndStored() {
    const QString id = freshId("xmr");
    const QString other = freshId("bcn");
    const int before = MergedMiningModel::instance().rowCount();
    m_dialog->poolResponce(200,
                           body({{id, coin("xmr", true, twoPartners())},
                                 {other, coin("bcn", true, {{"tari", QJsonObject()}})},
                                 {"tari", coin("xtm", false)}}),
                           QVariant());

    QCOMPARE(MergedMiningModel::instance().rowCount(), before + 3);
    const QVariantMap pools = Test::rawStore().value(entryKey(id, "mergedPools")).toMap();
    QCOMPARE(pools.keys(), (QStringList{"tari", "wow"}));
    QCOMPARE(pools.value("tari").toUrl(), QUrl(QStringLiteral("http://t:3334")));
    QCOMPARE(pools.value("wow").toUrl().host(), QStringLiteral("w"));
    QCOMPARE(pools.value("wow").toUrl().port(), 0);

    // Rows in id order: bcn, tari, xmr. Partners show their stored tickers; "wow" has none.
    const QComboBox* merged = coinRow(*m_dialog, 3).mergedMining;
    QCOMPARE(coinRow(*m_dialog, 3).ticker->text(), QStringLiteral("XMR"));
    QCOMPARE(merged->count(), 3);
    QCOMPARE(merged->itemData(1).toString() + merged->itemText(1), QStringLiteral("tariXTM"));
    QCOMPARE(merged->itemData(2).toString() + merged->itemText(2), QStringLiteral("wowNo"));
    QCOMPARE(coinRow(*m_dialog, 1).mergedMining->count(), 2);
    QCOMPARE(coinRow(*m_dialog, 2).mergedMining->count(), 1);
}

void TestCatalogue::failedRepliesWriteNothing_data() {
    QTest::addColumn<uint>("code");
    QTest::addColumn<QByteArray>("data");
    const QByteArray catalogue = body({{"xmr", coin("xmr", true, twoPartners())}});
    QTest::newRow("no reply") << 0u << QByteArray();
    QTest::newRow("cut off after 200 headers") << 0u << catalogue;
    QTest::newRow("201") << 201u << catalogue;
    QTest::newRow("404") << 404u << catalogue;
    QTest::newRow("array") << 200u << QByteArray("[{\"xmr\":{}}]");
    QTest::newRow("html") << 200u << QByteArray("<html>maintenance</html>");
    QTest::newRow("empty") << 200u << QByteArray();
    QTest::newRow("truncated") << 200u << catalogue.left(catalogue.size() / 2);
}

void TestCatalogue::failedRepliesWriteNothing() {
    QFETCH(uint, code);
    QFETCH(QByteArray, data);
    Test::rawStore().setValue(entryKey("xmr", "speed"), 2);
    const QVariantMap before = Test::storeSnapshot();
    const int partners = MergedMiningModel::instance().rowCount();

    m_dialog->poolResponce(code, data, QStringLiteral("pool"));

    QCOMPARE(coinRowCount(*m_dialog), 0);
    QCOMPARE(Test::storeSnapshot(), before);
    QCOMPARE(MergedMiningModel::instance().rowCount(), partners);
}

void TestCatalogue::malformedIdsAreSkipped() {
    const QString good = freshId("good");
    const QJsonObject withPartner = coin("bad", true, {{"p", QJsonObject{{"ip", "p"}}}});
    const QVariantMap before = Test::storeSnapshot();
    const int partners = MergedMiningModel::instance().rowCount();

    m_dialog->poolResponce(200,
                           body({{"", withPartner},
                                 {"/", withPartner},
                                 {good + "/x", withPartner},
                                 {"x\\" + good, withPartner},
                                 {good, coin("ok", true, {{"p", QJsonObject{{"ip", "p"}}}})}}),
                           QVariant());

    QCOMPARE(coinRowCount(*m_dialog), 1);
    QCOMPARE(coinRow(*m_dialog, 1).ticker->text(), QStringLiteral("OK"));
    QCOMPARE(MergedMiningModel::instance().rowCount(), partners + 1);
    const QStringList changed = changedKeys(before, Test::storeSnapshot());
    QCOMPARE(changed.size(), 8);
    for (const QString& key : changed)
        QVERIFY2(key.startsWith(QStringLiteral("miners/%1/").arg(good)), qPrintable(key));
}

void TestCatalogue::userChoicesAreStored() {
    const QString id = freshId("xmr");
    m_dialog->poolResponce(200, body({{id, coin("xmr", true, twoPartners())}}), QVariant());
    const CoinRow row = coinRow(*m_dialog, 1);
    const uint most = uint(QThread::idealThreadCount());
    const auto step = [&](QComboBox* combo, Qt::Key key, const QVariantMap& written) {
        const QVariantMap before = Test::storeSnapshot();
        QTest::keyClick(combo, key);
        const QVariantMap after = Test::storeSnapshot();
        QStringList keys;
        for (auto it = written.cbegin(); it != written.cend(); ++it) {
            keys << entryKey(id, qPrintable(it.key()));
            QCOMPARE(after.value(keys.constLast()).toString(), it.value().toString());
        }
        QCOMPARE(changedKeys(before, after), keys);
    };
    step(row.cores, Qt::Key_End, {{"running", true}, {"speed", most}});
    // Switching a coin off keeps its core count.
    step(row.cores, Qt::Key_Home, {{"running", false}});
    step(row.mergedMining, Qt::Key_Down, {{"mergedMining", "tari"}});
    step(row.mergedMining, Qt::Key_Home, {{"mergedMining", ""}});
    QVERIFY(Test::rawStore().contains(entryKey(id, "mergedMining")));
    QCOMPARE(Test::rawStore().value(entryKey(id, "speed")).toUInt(), most);
}

void TestCatalogue::catalogueRequestedFromServer() {
    // Only scheme, host and port of the stored server count: its path is replaced.
    Test::FakeHttpServer server;
    QVERIFY(server.listen());
    const QString id = freshId("xmr");
    server.setResponse({200, body({{id, coin("xmr", true)}})});
    m_dialog.reset();
    Settings::instance().setValue(QStringLiteral("server"), server.url("/api/2.2/").toString());

    m_dialog = std::make_unique<MainDialog>();
    QCOMPARE(coinRowCount(*m_dialog), 0);
    QTRY_COMPARE(coinRowCount(*m_dialog), 1);
    QCOMPARE(coinRow(*m_dialog, 1).ticker->text(), QStringLiteral("XMR"));
    QCOMPARE(server.requests.size(), 1);
    const Test::FakeHttpServer::Request request = server.requests.at(0);
    QCOMPARE(request.method + ' ' + request.path, QByteArray("GET /api/2.3/pool/config"));
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
}

QTEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
