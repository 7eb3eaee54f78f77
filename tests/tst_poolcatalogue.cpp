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

QStringList ids(const QVector<CatalogueCoin>& coins) {
    QStringList result;
    for (const CatalogueCoin& c : coins)
        result.append(c.id);
    return result;
}

} // namespace

Q_DECLARE_METATYPE(CoinChoices)

class TestPoolCatalogue : public QObject {
    Q_OBJECT

private slots:
    void coinsSortedAndFiltered_data();
    void coinsSortedAndFiltered();
    void notAnObject_data();
    void notAnObject();
    void coinMembers_data();
    void coinMembers();
    void partners();
    void coinIds_data();
    void coinIds();
    void choices_data();
    void choices();
    void entry();
    void sampleCatalogue();
};

void TestPoolCatalogue::coinsSortedAndFiltered_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("sorted by id") << json({{"b", coin()}, {"a", coin()}, {"c", coin("scrypt")}})
                                  << QStringList{"a", "b"};
    QTest::newRow("case-sensitive order")
        << json({{"b", coin()}, {"B", coin()}, {"a", coin()}}) << QStringList{"B", "a", "b"};
    QTest::newRow("family in other case")
        << json({{"x", coin("CryptoNight")}, {"y", coin()}}) << QStringList{"y"};
    QTest::newRow("family missing")
        << json({{"x", QJsonObject{{"ticker", "t"}}}, {"y", coin()}}) << QStringList{"y"};
    QTest::newRow("family not a string") << json({{"x", coin(1)}}) << QStringList();
    QTest::newRow("family with space") << json({{"x", coin("cryptonight ")}}) << QStringList();
    QTest::newRow("coin not an object") << json({{"x", 5}, {"y", coin()}}) << QStringList{"y"};
    QTest::newRow("empty catalogue") << QByteArray("{}") << QStringList();
}

void TestPoolCatalogue::coinsSortedAndFiltered() {
    QFETCH(QByteArray, body);
    QFETCH(QStringList, expected);
    QCOMPARE(ids(parseCatalogue(body)), expected);
}

void TestPoolCatalogue::notAnObject_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("array") << QByteArray(R"([{"family":"cryptonight"}])");
    QTest::newRow("not json") << QByteArray("<html>502 Bad Gateway</html>");
    QTest::newRow("cut short") << json({{"a", coin()}, {"b", coin()}}).chopped(3);
    QTest::newRow("null") << QByteArray("null");
}

void TestPoolCatalogue::notAnObject() {
    QFETCH(QByteArray, body);
    QVERIFY(parseCatalogue(body).isEmpty());
}

void TestPoolCatalogue::coinMembers_data() {
    QTest::addColumn<QJsonObject>("object");
    QTest::addColumn<QString>("ticker");
    QTest::addColumn<bool>("showByDefault");
    QTest::addColumn<QString>("pool");

    const QJsonObject full{
        {"family", "cryptonight"}, {"name", "Monero"},
        {"precision", 12},         {"ticker", "xmr"},
        {"showByDefault", true},   {"server", QJsonObject{{"ip", "h"}, {"stratumPort", 443}}}};
    QTest::newRow("full") << full << "XMR" << true << "h:443";
    QJsonObject wrapped = full;
    wrapped["server"] = QJsonObject{{"ip", "h"}, {"stratumPort", 443 + 65536}};
    QTest::newRow("port wraps") << wrapped << "XMR" << true << "h:443";
    wrapped["server"] = QJsonObject{{"ip", "h"}, {"stratumPort", 65535}};
    QTest::newRow("largest port") << wrapped << "XMR" << true << "h:65535";
    wrapped["server"] = QJsonObject{{"ip", "h"}, {"stratumPort", "3333"}};
    QTest::newRow("port as text") << wrapped << "XMR" << true << "h:3333";
    wrapped["server"] = QJsonObject{{"ip", "%2%1"}, {"stratumPort", 1}};
    QTest::newRow("placeholders in host") << wrapped << "XMR" << true << "%2%1:1";
    QTest::newRow("only family") << QJsonObject{{"family", "cryptonight"}} << "" << false << ":0";
    QTest::newRow("server not an object")
        << QJsonObject{{"family", "cryptonight"}, {"server", "h:1"}} << "" << false << ":0";
    QTest::newRow("ticker a number")
        << QJsonObject{{"family", "cryptonight"}, {"ticker", 7}} << "7" << false << ":0";
    QTest::newRow("showByDefault as text")
        << QJsonObject{{"family", "cryptonight"}, {"showByDefault", "true"}} << "" << true << ":0";
}

void TestPoolCatalogue::coinMembers() {
    QFETCH(QJsonObject, object);
    QFETCH(QString, ticker);
    QFETCH(bool, showByDefault);
    QFETCH(QString, pool);
    const QVector<CatalogueCoin> coins = parseCatalogue(json({{"xmr", object}}));
    QCOMPARE(coins.size(), 1);
    QCOMPARE(coins.at(0).id, QStringLiteral("xmr"));
    QCOMPARE(coins.at(0).ticker, ticker);
    QCOMPARE(coins.at(0).showByDefault, showByDefault);
    QCOMPARE(coins.at(0).pool, pool);
    QVERIFY(coins.at(0).partners.isEmpty());
}

void TestPoolCatalogue::partners() {
    const QJsonObject merged{{"wow", QJsonObject{{"ip", "w"}, {"stratumPort", 1000 + 65536}}},
                             {"Tari", QJsonObject{{"ip", "t"}}},
                             {"arq", QJsonObject{{"ip", "a"}, {"stratumPort", 1000}}}};
    QJsonObject object = coin();
    object["server"] = QJsonObject{{"ip", "h"}, {"stratumPort", 1}, {"merged", merged}};
    const QVector<MergedPool> partners = parseCatalogue(json({{"xmr", object}})).at(0).partners;
    QCOMPARE(partners.size(), 3);
    QCOMPARE(partners.at(0).id, QStringLiteral("Tari"));
    QCOMPARE(partners.at(0).host, QStringLiteral("t"));
    QCOMPARE(partners.at(0).port, quint16(0));
    QCOMPARE(partners.at(1).id, QStringLiteral("arq"));
    QCOMPARE(partners.at(1).port, quint16(1000));
    QCOMPARE(partners.at(2).id, QStringLiteral("wow"));
    QCOMPARE(partners.at(2).port, quint16(1000));

    QCOMPARE(mergedPoolUrl(partners.at(1)), QUrl(QStringLiteral("http://a:1000")));
    const QUrl noPort = mergedPoolUrl(partners.at(0));
    QCOMPARE(noPort.scheme(), QStringLiteral("http"));
    QCOMPARE(noPort.host(), QStringLiteral("t"));
    QCOMPARE(noPort.port(), 0);
}

void TestPoolCatalogue::coinIds_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("usable");
    QTest::newRow("plain") << "monero" << true;
    QTest::newRow("dash and dot") << "xmr-lite.v2" << true;
    QTest::newRow("space") << "my coin" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("only slash") << "/" << false;
    QTest::newRow("trailing slash") << "monero/" << false;
    QTest::newRow("backslash") << "a\\b" << false;
}

void TestPoolCatalogue::coinIds() {
    QFETCH(QString, id);
    QFETCH(bool, usable);
    QCOMPARE(isUsableCoinId(id), usable);
    const QByteArray body = json({{id, coin()}, {"zz", coin()}});
    const QStringList expected = usable ? QStringList{id, "zz"} : QStringList{"zz"};
    QCOMPARE(ids(parseCatalogue(body)), expected);
}

void TestPoolCatalogue::choices_data() {
    QTest::addColumn<bool>("showByDefault");
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<CoinChoices>("expected");

    QTest::newRow("new, shown") << true << QVariantMap() << CoinChoices{true, "", 1, "", false};
    QTest::newRow("new, hidden") << false << QVariantMap() << CoinChoices{false, "", 1, "", false};
    const QVariantMap full{{"engine", "xmr"},
                           {"visible", true},
                           {"mergedMining", "tari"},
                           {"speed", QString("3")},
                           {"worker", "rig"},
                           {"running", "true"},
                           {"mergedPools", QVariantMap()}};
    QTest::newRow("stored") << false << full << CoinChoices{true, "tari", 3, "rig", true};
    QTest::newRow("stored without visible")
        << true << QVariantMap{{"engine", "xmr"}, {"mergedPools", QVariantMap()}}
        << CoinChoices{false, "", 1, "", false};
    QVariantMap speed = full;
    speed["speed"] = 257;
    QTest::newRow("speed above 255 is kept")
        << false << speed << CoinChoices{true, "tari", 257, "rig", true};
    speed["speed"] = QStringLiteral("many");
    QTest::newRow("speed not a number")
        << false << speed << CoinChoices{true, "tari", 0, "rig", true};
    speed["speed"] = QVariant();
    QTest::newRow("speed invalid") << false << speed << CoinChoices{true, "tari", 0, "rig", true};
}

void TestPoolCatalogue::choices() {
    QFETCH(bool, showByDefault);
    QFETCH(QVariantMap, stored);
    QFETCH(CoinChoices, expected);
    CatalogueCoin coin;
    coin.id = QStringLiteral("xmr");
    coin.showByDefault = showByDefault;
    const CoinChoices choices = coinChoices(coin, stored);
    QCOMPARE(choices.visible, expected.visible);
    QCOMPARE(choices.mergedMining, expected.mergedMining);
    QCOMPARE(choices.speed, expected.speed);
    QCOMPARE(choices.worker, expected.worker);
    QCOMPARE(choices.running, expected.running);
}

void TestPoolCatalogue::entry() {
    CatalogueCoin coin;
    coin.id = QStringLiteral("xmr");
    coin.ticker = QStringLiteral("XMR");
    coin.pool = QStringLiteral("h:443");
    coin.partners = {{QStringLiteral("tari"), QStringLiteral("t"), 3334},
                     {QStringLiteral("wow"), QStringLiteral("w"), 0}};
    const QVariantMap entry = minerEntry(coin, CoinChoices{true, "tari", 2, "rig", true});
    const QVariantMap pools{{"tari", QUrl(QStringLiteral("http://t:3334"))},
                            {"wow", QUrl(QStringLiteral("http://w:0"))}};
    const QVariantMap expected{{"engine", "xmr"},      {"ticker", "XMR"},       {"pool", "h:443"},
                               {"worker", "rig"},      {"speed", 2u},           {"running", true},
                               {"mergedPools", pools}, {"mergedMining", "tari"}};
    QCOMPARE(entry, expected);
    QCOMPARE(entry.value("speed").userType(), int(QMetaType::UInt));
}

void TestPoolCatalogue::sampleCatalogue() {
    QFile file(QStringLiteral(VORLANT_SOURCE_DIR "/tools/samplepool/catalogue.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QVector<CatalogueCoin> coins = parseCatalogue(file.readAll());
    QCOMPARE(ids(coins), (QStringList{"arqma", "conceal", "dinastycoin", "haven", "monero", "tari",
                                      "wownero"}));
    const CatalogueCoin& arqma = coins.at(0);
    QCOMPARE(arqma.ticker, QStringLiteral("ARQ"));
    QCOMPARE(arqma.pool, QStringLiteral("arq.pool.example.net:3731"));
    QCOMPARE(arqma.partners.size(), 2);
    QCOMPARE(arqma.partners.at(0).id, QStringLiteral("conceal"));
    QCOMPARE(arqma.partners.at(1).id, QStringLiteral("dinastycoin"));
}

QTEST_GUILESS_MAIN(TestPoolCatalogue)
#include "tst_poolcatalogue.moc"
