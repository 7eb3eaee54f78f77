#include "settings/Settings.h"
#include "support/FakeHttpServer.h"
#include "support/StoreSnapshot.h"
#include "support/TestEnvironment.h"
#include "ui/CpuCoresModel.h"
#include "ui/MainDialog.h"
#include "ui/MergedMiningModel.h"
#include "ui/MergedMiningProxyModel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace Vorlant;

namespace {

// Nothing listens here: the dialog's own catalogue request fails without leaving the machine.
const char kUnreachableServer[] = "http://127.0.0.1:9";

struct CoinRow {
    QLabel* ticker = nullptr;
    QComboBox* cores = nullptr;
    QComboBox* mergedMining = nullptr;
    Qt::Alignment alignments[3];
};

QGridLayout* coinGrid(QWidget& dialog) {
    return dialog.findChild<QGridLayout*>(QStringLiteral("m_coins_layout"));
}

int coinRowCount(QWidget& dialog) {
    QGridLayout* grid = coinGrid(dialog);
    int rows = 0;
    for (int row = 1; row < grid->rowCount(); ++row)
        rows += grid->itemAtPosition(row, 0) ? 1 : 0;
    return rows;
}

CoinRow coinRow(QWidget& dialog, int row) {
    QGridLayout* grid = coinGrid(dialog);
    CoinRow result;
    QLayoutItem* cells[3];
    for (int column = 0; column < 3; ++column) {
        cells[column] = grid->itemAtPosition(row, column);
        if (!cells[column])
            return CoinRow();
        result.alignments[column] = cells[column]->alignment();
    }
    result.ticker = qobject_cast<QLabel*>(cells[0]->widget());
    result.cores = qobject_cast<QComboBox*>(cells[1]->widget());
    result.mergedMining = qobject_cast<QComboBox*>(cells[2]->widget());
    return result;
}

QJsonObject coin(const QString& ticker, bool showByDefault, const QJsonObject& merged = {}) {
    const QJsonObject server{
        {"ip", "h"}, {"stratumPort", 443}, {"httpPort", 8117}, {"merged", merged}};
    return {
        {"family", "cryptonight"},        {"name", ticker},  {"ticker", ticker}, {"precision", 12},
        {"showByDefault", showByDefault}, {"server", server}};
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

QStringList userRoleColumn(const QComboBox* combo) {
    QStringList values;
    for (int row = 0; row < combo->count(); ++row)
        values.append(combo->itemData(row, Qt::UserRole).toString());
    return values;
}

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init();

    void rowsInMemberOrder();
    void rowWidgets();
    void handling_data();
    void handling();
    void partnersRegisteredAndStored();
    void failedRepliesWriteNothing_data();
    void failedRepliesWriteNothing();
    void malformedIdsAreSkipped();
    void coresChoice();
    void mergedMiningChoice();
    void proxiesGoWithTheDialog();
    void catalogueRequest_data();
    void catalogueRequest();
    void catalogueReplyBuildsRows();

private:
    std::unique_ptr<MainDialog> m_dialog;
};

void TestCatalogue::init() {
    Test::clearStore();
    Settings::instance().setValue(QStringLiteral("server"),
                                  QString::fromLatin1(kUnreachableServer));
    m_dialog = std::make_unique<MainDialog>();
}

void TestCatalogue::rowsInMemberOrder() {
    QJsonObject scrypt = coin("ltc", true);
    scrypt["family"] = "scrypt";
    QJsonObject otherCase = coin("cn", true);
    otherCase["family"] = "CryptoNight";
    m_dialog->poolResponce(
        200,
        body(
            {{"b", coin("bbb", true)}, {"a", coin("abc", false)}, {"c", scrypt}, {"d", otherCase}}),
        QStringLiteral("pool"));

    QCOMPARE(coinRowCount(*m_dialog), 2);
    QCOMPARE(coinRow(*m_dialog, 1).ticker->text(), QStringLiteral("ABC"));
    QCOMPARE(coinRow(*m_dialog, 2).ticker->text(), QStringLiteral("BBB"));
    QCOMPARE(Settings::instance().miners().keys(), (QStringList{"a", "b"}));
    QCOMPARE(Test::rawStore().value(entryKey("a", "ticker")).toString(), QStringLiteral("ABC"));
}

void TestCatalogue::rowWidgets() {
    const QString id = freshId("xmr");
    m_dialog->poolResponce(200, body({{id, coin("xmr", true, twoPartners())}}), QVariant());
    const CoinRow row = coinRow(*m_dialog, 1);
    QVERIFY(row.ticker && row.cores && row.mergedMining);
    QCOMPARE(row.ticker->objectName(), QStringLiteral("m_coin_abbr_label"));
    for (QWidget* widget : {static_cast<QWidget*>(row.ticker), static_cast<QWidget*>(row.cores),
                            static_cast<QWidget*>(row.mergedMining)})
        QCOMPARE(widget->parentWidget(), m_dialog.get());
    QCOMPARE(row.alignments[0], Qt::AlignLeft);
    QCOMPARE(row.alignments[1], Qt::AlignCenter);
    QCOMPARE(row.alignments[2], Qt::AlignCenter);

    QCOMPARE(row.cores->model(), &CpuCoresModel::instance());
    QVERIFY(!row.cores->hasFrame());
    QCOMPARE(row.cores->count(), QThread::idealThreadCount() + 1);
    QVERIFY(row.mergedMining->hasFrame());
    auto* proxy = qobject_cast<MergedMiningProxyModel*>(row.mergedMining->model());
    QVERIFY(proxy);
    QCOMPARE(proxy->sourceModel(), &MergedMiningModel::instance());
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
    QTest::newRow("stored entry wins") << QVariantMap{{"visible", true},
                                                      {"worker", "rig"},
                                                      {"speed", 1},
                                                      {"running", true},
                                                      {"mergedMining", "wow"}}
                                       << false << entry(true, "rig", 1, true, "wow") << 1 << 2;
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
        raw.setValue(QStringLiteral("miners/%1/%2").arg(id, it.key()), it.value());

    m_dialog->poolResponce(200, body({{id, coin("xmr", showByDefault, twoPartners())}}),
                           QStringLiteral("pool"));

    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(raw.value(QStringLiteral("miners/%1/%2").arg(id, it.key())).toString(),
                 it.value().toString());
    QCOMPARE(raw.value(entryKey(id, "ticker")).toString(), QStringLiteral("XMR"));
    QCOMPARE(raw.value(entryKey(id, "pool")).toString(), QStringLiteral("h:443"));
    const CoinRow row = coinRow(*m_dialog, 1);
    QCOMPARE(row.cores->currentIndex(), coresIndex);
    QCOMPARE(row.mergedMining->currentIndex(), mergedIndex);
    if (mergedIndex < 0)
        QCOMPARE(row.mergedMining->currentText(), QString());
    else
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

    // Rows in id order: bcn, tari, xmr.
    QCOMPARE(coinRow(*m_dialog, 3).ticker->text(), QStringLiteral("XMR"));
    const QComboBox* merged = coinRow(*m_dialog, 3).mergedMining;
    QCOMPARE(userRoleColumn(merged), (QStringList{"", "tari", "wow"}));
    // Display texts are the partners' stored tickers; "wow" has no entry.
    QCOMPARE(merged->itemText(1), QStringLiteral("XTM"));
    QCOMPARE(merged->itemText(2), QStringLiteral("No"));
    QCOMPARE(userRoleColumn(coinRow(*m_dialog, 1).mergedMining), (QStringList{"", "tari"}));
    QCOMPARE(userRoleColumn(coinRow(*m_dialog, 2).mergedMining), QStringList{""});
}

void TestCatalogue::failedRepliesWriteNothing_data() {
    QTest::addColumn<uint>("code");
    QTest::addColumn<QByteArray>("data");
    const QByteArray catalogue = body({{"xmr", coin("xmr", true, twoPartners())}});
    QTest::newRow("no reply") << 0u << QByteArray();
    QTest::newRow("cut off after 200 headers") << 0u << catalogue;
    QTest::newRow("201") << 201u << catalogue;
    QTest::newRow("204") << 204u << catalogue;
    QTest::newRow("304") << 304u << catalogue;
    QTest::newRow("404") << 404u << catalogue;
    QTest::newRow("500") << 500u << catalogue;
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

void TestCatalogue::coresChoice() {
    const QString id = freshId("xmr");
    m_dialog->poolResponce(200, body({{id, coin("xmr", true)}}), QVariant());
    QComboBox* cores = coinRow(*m_dialog, 1).cores;
    const uint most = uint(QThread::idealThreadCount());
    QVariantMap before = Test::storeSnapshot();

    QTest::keyClick(cores, Qt::Key_End);
    QCOMPARE(cores->currentIndex(), int(most));
    QVariantMap after = Test::storeSnapshot();
    QCOMPARE(changedKeys(before, after),
             (QStringList{entryKey(id, "running"), entryKey(id, "speed")}));
    QCOMPARE(after.value(entryKey(id, "running")).toBool(), true);
    QCOMPARE(after.value(entryKey(id, "speed")).toUInt(), most);

    before = after;
    QTest::keyClick(cores, Qt::Key_Home);
    after = Test::storeSnapshot();
    QCOMPARE(changedKeys(before, after), QStringList{entryKey(id, "running")});
    QCOMPARE(after.value(entryKey(id, "running")).toBool(), false);
    QCOMPARE(after.value(entryKey(id, "speed")).toUInt(), most);
}

void TestCatalogue::mergedMiningChoice() {
    const QString id = freshId("xmr");
    m_dialog->poolResponce(200, body({{id, coin("xmr", true, twoPartners())}}), QVariant());
    QComboBox* merged = coinRow(*m_dialog, 1).mergedMining;
    QVariantMap before = Test::storeSnapshot();

    QTest::keyClick(merged, Qt::Key_Down);
    QVariantMap after = Test::storeSnapshot();
    QCOMPARE(changedKeys(before, after), QStringList{entryKey(id, "mergedMining")});
    QCOMPARE(after.value(entryKey(id, "mergedMining")).toString(), QStringLiteral("tari"));

    before = after;
    QTest::keyClick(merged, Qt::Key_Home);
    after = Test::storeSnapshot();
    QCOMPARE(changedKeys(before, after), QStringList{entryKey(id, "mergedMining")});
    QVERIFY(after.value(entryKey(id, "mergedMining")).isValid());
    QCOMPARE(after.value(entryKey(id, "mergedMining")).toString(), QString());
}

void TestCatalogue::proxiesGoWithTheDialog() {
    m_dialog->poolResponce(200, body({{freshId("xmr"), coin("xmr", true, twoPartners())}}),
                           QVariant());
    QPointer<QAbstractItemModel> proxy = coinRow(*m_dialog, 1).mergedMining->model();
    QVERIFY(proxy);
    QCOMPARE(proxy->parent(), m_dialog.get());
    m_dialog.reset();
    QVERIFY(proxy.isNull());
}

void TestCatalogue::catalogueRequest_data() {
    QTest::addColumn<QString>("serverPath");
    QTest::newRow("bare server") << "";
    QTest::newRow("server with a path") << "/x";
    QTest::newRow("server with a deeper path") << "/api/2.2/";
}

void TestCatalogue::catalogueRequest() {
    QFETCH(QString, serverPath);
    Test::FakeHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(404, "missing");
    m_dialog.reset();
    Settings::instance().setValue(QStringLiteral("server"), server.url(serverPath).toString());

    m_dialog = std::make_unique<MainDialog>();

    QTRY_COMPARE(server.requests().size(), 1);
    const Test::FakeHttpServer::Request request = server.requests().at(0);
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.path, QByteArray("/api/2.3/pool/config"));
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    QVERIFY(request.body.isEmpty());
}

void TestCatalogue::catalogueReplyBuildsRows() {
    Test::FakeHttpServer server;
    QVERIFY(server.listen());
    const QString id = freshId("xmr");
    server.setResponse(200, body({{id, coin("xmr", true, twoPartners())}}), "application/json");
    m_dialog.reset();
    Settings::instance().setValue(QStringLiteral("server"), server.url().toString());

    m_dialog = std::make_unique<MainDialog>();
    QCOMPARE(coinRowCount(*m_dialog), 0);

    QTRY_COMPARE(coinRowCount(*m_dialog), 1);
    QCOMPARE(coinRow(*m_dialog, 1).ticker->text(), QStringLiteral("XMR"));
    QCOMPARE(Test::rawStore().value(entryKey(id, "pool")).toString(), QStringLiteral("h:443"));
    QCOMPARE(server.requests().size(), 1);
}

QTEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
