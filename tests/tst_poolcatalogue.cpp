#include "support/TestEnvironment.h"
#include "ui/PoolCatalogue.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace Vorlant;

namespace {

QByteArray json(const QJsonObject& root) {
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

QJsonObject coin(const QJsonValue& family = QStringLiteral("cryptonight")) {
    return {{"family", family}, {"ticker", "t"}, {"server", QJsonObject{{"ip", "h"}}}};
}

} // namespace

class TestPoolCatalogue : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void coinsKept_data();
    void coinsKept();
    void coinMembers_data();
    void coinMembers();
};

void TestPoolCatalogue::coinsKept_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("ids");
    const auto row = [](const char* name, const QByteArray& body, const QStringList& ids) {
        QTest::newRow(name) << body << ids;
    };
    row("sorted by id", json({{"b", coin()}, {"a", coin()}, {"c", coin("scrypt")}}), {"a", "b"});
    row("case-sensitive order", json({{"b", coin()}, {"B", coin()}, {"a", coin()}}),
        {"B", "a", "b"});
    row("family in other case", json({{"x", coin("CryptoNight")}, {"y", coin()}}), {"y"});
    row("family missing", json({{"x", QJsonObject{{"ticker", "t"}}}, {"y", coin()}}), {"y"});
    row("family with space", json({{"x", coin("cryptonight ")}}), {});
    row("coin not an object", json({{"x", 5}, {"y", coin()}}), {"y"});
    row("dash, dot and space in ids", json({{"xmr-lite.v2", coin()}, {"my coin", coin()}}),
        {"my coin", "xmr-lite.v2"});
    row("separators in ids", json({{"a/b", coin()}, {"a\\b", coin()}, {"zz", coin()}}), {"zz"});
}

void TestPoolCatalogue::coinsKept() {
    QFETCH(QByteArray, body);
    QFETCH(QStringList, ids);
    QStringList parsed;
    for (const CatalogueCoin& coin : parseCatalogue(body))
        parsed << coin.id;
    QCOMPARE(parsed, ids);
}

void TestPoolCatalogue::coinMembers_data() {
    QTest::addColumn<QJsonObject>("object");
    QTest::addColumn<QString>("ticker");
    QTest::addColumn<bool>("showByDefault");
    QTest::addColumn<QString>("pool");
    QTest::addColumn<QString>("partners");
    const auto withServer = [](const QJsonObject& server) {
        return QJsonObject{{"family", "cryptonight"}, {"ticker", "xmr"}, {"server", server}};
    };
    const QJsonObject merged{{"wow", QJsonObject{{"ip", "w"}, {"stratumPort", 1000 + 65536}}},
                             {"Tari", QJsonObject{{"ip", "t"}}},
                             {"arq", QJsonObject{{"ip", "a"}, {"stratumPort", 1000}}}};
    QJsonObject full = withServer({{"ip", "h"}, {"stratumPort", 443 + 65536}, {"merged", merged}});
    full["showByDefault"] = true;
    QTest::newRow("full, ports wrap") << full << "XMR" << true << "h:443"
                                      << "Tari=t:0 arq=a:1000 wow=w:1000";
    QTest::newRow("largest port") << withServer({{"ip", "h"}, {"stratumPort", 65535}}) << "XMR"
                                  << false << "h:65535"
                                  << "";
    QTest::newRow("port as text") << withServer({{"ip", "h"}, {"stratumPort", "3333"}}) << "XMR"
                                  << false << "h:3333"
                                  << "";
    QTest::newRow("placeholders in host")
        << withServer({{"ip", "%2%1"}, {"stratumPort", 1}}) << "XMR" << false << "%2%1:1"
        << "";
    QTest::newRow("only family") << QJsonObject{{"family", "cryptonight"}} << "" << false << ":0"
                                 << "";
}

void TestPoolCatalogue::coinMembers() {
    QFETCH(QJsonObject, object);
    QFETCH(QString, ticker);
    QFETCH(bool, showByDefault);
    QFETCH(QString, pool);
    QFETCH(QString, partners);
    const QVector<CatalogueCoin> coins = parseCatalogue(json({{"xmr", object}}));
    QCOMPARE(coins.size(), 1);
    QCOMPARE(coins.at(0).ticker, ticker);
    QCOMPARE(coins.at(0).showByDefault, showByDefault);
    QCOMPARE(coins.at(0).pool, pool);
    QStringList parsed;
    for (const MergedPool& partner : coins.at(0).partners)
        parsed << QStringLiteral("%1=%2:%3").arg(partner.id, partner.host).arg(partner.port);
    QCOMPARE(parsed.join(QLatin1Char(' ')), partners);
}

QTEST_GUILESS_MAIN(TestPoolCatalogue)
#include "tst_poolcatalogue.moc"
