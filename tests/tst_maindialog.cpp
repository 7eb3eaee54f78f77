#include "settings/ServerUrl.h"
#include "settings/Settings.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"
#include "ui/CpuCoresModel.h"
#include "ui/MainDialog.h"
#include "ui/MergedMiningModel.h"
#include "ui/MergedMiningProxyModel.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QGridLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QThread>
#include <QtTest>

using namespace Vorlant;

namespace {

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

QByteArray catalogue(const QString& id, bool showByDefault = true) {
    const QJsonObject partners{{"wow", QJsonObject{{"ip", "w"}}},
                               {"tari", QJsonObject{{"ip", "t"}, {"stratumPort", 3334 + 65536}}}};
    const QJsonObject server{{"ip", "h"}, {"stratumPort", 443}, {"merged", partners}};
    const QJsonObject coin{{"family", "cryptonight"},
                           {"ticker", "xmr"},
                           {"showByDefault", showByDefault},
                           {"server", server}};
    return QJsonDocument(QJsonObject{{id, coin}}).toJson();
}

// The partner model is process-wide and only grows, so every case names its coins afresh.
QString freshId() {
    static int counter = 0;
    return QStringLiteral("xmr%1").arg(++counter);
}

QString entryKey(const QString& coin, const QString& key) {
    return QStringLiteral("miners/%1/%2").arg(coin, key);
}

} // namespace

class TestMainDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<MainDialog> m_dialog;

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init() {
        Test::clearStore();
        // Nothing listens there: the dialog's catalogue request fails without leaving the machine.
        Settings::instance().setValue(QStringLiteral("server"), "http://127.0.0.1:9");
        m_dialog = std::make_unique<MainDialog>();
    }

    void serverIsStoredBack_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("expected");
        const QString fallback = QString::fromLatin1(kDefaultServerUrl);
        QTest::newRow("absent") << QVariant() << fallback;
        QTest::newRow("empty, as an upgrade from 1.05 leaves it") << QVariant("") << fallback;
        QTest::newRow("empty URL value") << QVariant(QUrl()) << fallback;
        QTest::newRow("own server") << QVariant("https://a.example/b") << "https://a.example/b";
        QTest::newRow("URL value") << QVariant(QUrl("https://c.example")) << "https://c.example";
    }
    void serverIsStoredBack() {
        QFETCH(QVariant, stored);
        QFETCH(QString, expected);
        Test::clearStore();
        if (stored.isValid())
            Settings::instance().setValue(QStringLiteral("server"), stored);
        QCOMPARE(loadServerUrl(Settings::instance()), expected);
        QCOMPARE(Test::rawStore().value("server").toString(), expected);
    }

    void everyEmailChangeIsStoredUntrimmed() {
        auto* edit = m_dialog->findChild<QLineEdit*>(QStringLiteral("m_email_edit"));
        QVERIFY(edit->text().isEmpty());
        QVERIFY(!Test::rawStore().contains("email")); // loading writes nothing
        Settings::instance().setValue(QStringLiteral("email"), " kept@example.org ");
        m_dialog = std::make_unique<MainDialog>();
        edit = m_dialog->findChild<QLineEdit*>(QStringLiteral("m_email_edit"));
        QCOMPARE(edit->text(), QStringLiteral(" kept@example.org "));
        edit->clear();
        QCOMPARE(Test::rawStore().value("email"), QVariant(""));
        QTest::keyClicks(edit, QStringLiteral("me@x.io "));
        QCOMPARE(Test::rawStore().value("email").toString(), QStringLiteral("me@x.io "));
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(Test::rawStore().value("email").toString(), QStringLiteral("me@x.i"));
    }

    void handling_data() {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<bool>("showByDefault");
        QTest::addColumn<QString>("expected"); // visible worker speed running mergedMining
        QTest::addColumn<int>("coresIndex");
        QTest::addColumn<int>("mergedIndex");
        const auto row = [](const char* name, const QVariantMap& stored, bool shown,
                            const QString& expected, int cores, int merged) {
            QTest::newRow(name) << stored << shown << expected << cores << merged;
        };
        const uint beyond = uint(QThread::idealThreadCount()) + 1;
        const QString above = QStringLiteral("false  %1 true ").arg(beyond);
        const QVariantMap stored{{"visible", true},
                                 {"worker", "rig"},
                                 {"speed", 1},
                                 {"running", true},
                                 {"mergedMining", "wow"}};
        row("new coin, shown", {}, true, "true  1 false ", 0, 0);
        row("new coin, hidden", {}, false, "false  1 false ", 0, 0);
        row("stored entry wins", stored, false, "true rig 1 true wow", 1, 2);
        row("stored without visible", {{"worker", "rig"}}, true, "false rig 1 false ", 0, 0);
        row("not running shows 0, keeps speed", {{"running", false}, {"speed", beyond}}, false,
            QStringLiteral("false  %1 false ").arg(beyond), 0, 0);
        row("running above the core count", {{"running", true}, {"speed", beyond}}, false, above,
            -1, 0);
        row("speed above 255 is kept", {{"running", true}, {"speed", 257}}, false,
            "false  257 true ", -1, 0);
        row("stored partner that is gone", {{"mergedMining", "old"}}, false, "false  1 false old",
            0, -1);
        row("stored partner in other case", {{"mergedMining", "Tari"}}, false,
            "false  1 false Tari", 0, -1);
    }
    void handling() {
        QFETCH(QVariantMap, stored);
        QFETCH(bool, showByDefault);
        QFETCH(QString, expected);
        QFETCH(int, coresIndex);
        QFETCH(int, mergedIndex);
        const QString id = freshId();
        QSettings raw = Test::rawStore();
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            raw.setValue(entryKey(id, it.key()), it.value());

        m_dialog->poolResponce(200, catalogue(id, showByDefault), QStringLiteral("pool"));

        QStringList written;
        for (const char* key : {"visible", "worker", "speed", "running", "mergedMining"})
            written << raw.value(entryKey(id, key)).toString();
        QCOMPARE(written.join(' '), expected);
        QCOMPARE(raw.value(entryKey(id, "ticker")).toString(), QStringLiteral("XMR"));
        QCOMPARE(raw.value(entryKey(id, "pool")).toString(), QStringLiteral("h:443"));
        const QVariantMap pools = raw.value(entryKey(id, "mergedPools")).toMap();
        QCOMPARE(pools.value("tari").toUrl(), QUrl("http://t:3334"));
        QCOMPARE(coinRow(*m_dialog, 1).cores->currentIndex(), coresIndex);
        QCOMPARE(coinRow(*m_dialog, 1).mergedMining->currentIndex(), mergedIndex);
    }

    void failedRepliesWriteNothing_data() {
        QTest::addColumn<uint>("code");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("no reply") << 0u << QByteArray();
        QTest::newRow("201") << 201u << catalogue("xmr");
        QTest::newRow("404") << 404u << catalogue("xmr");
        QTest::newRow("array") << 200u << QByteArray("[{\"xmr\":{}}]");
        QTest::newRow("html") << 200u << QByteArray("<html>maintenance</html>");
        QTest::newRow("truncated") << 200u << catalogue("xmr").chopped(30);
    }
    void failedRepliesWriteNothing() {
        QFETCH(uint, code);
        QFETCH(QByteArray, data);
        Test::rawStore().setValue(entryKey("xmr", "speed"), 2);
        const QVariantMap before = Test::storeSnapshot();
        const int partners = MergedMiningModel::instance().rowCount();
        m_dialog->poolResponce(code, data, QStringLiteral("pool"));
        QVERIFY(!coinRow(*m_dialog, 1).ticker);
        QCOMPARE(Test::storeSnapshot(), before);
        QCOMPARE(MergedMiningModel::instance().rowCount(), partners);
    }

    void malformedIdsAreSkipped() {
        const QString good = freshId();
        QJsonObject coins = QJsonDocument::fromJson(catalogue(good)).object();
        for (const QString& bad : {QString(), QStringLiteral("/"), good + "/x", "x\\" + good})
            coins.insert(bad, coins.value(good));
        const QVariantMap before = Test::storeSnapshot();
        const int partners = MergedMiningModel::instance().rowCount();

        m_dialog->poolResponce(200, QJsonDocument(coins).toJson(), QVariant());

        QVERIFY(coinRow(*m_dialog, 1).ticker && !coinRow(*m_dialog, 2).ticker);
        QCOMPARE(MergedMiningModel::instance().rowCount(), partners + 2);
        QVariantMap after = Test::storeSnapshot();
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(after.take(it.key()), it.value());
        QCOMPARE(after.size(), 8);
        for (const QString& key : after.keys())
            QVERIFY2(key.startsWith(entryKey(good, "")), qPrintable(key));
    }

    void userChoicesAreStored() {
        const QString id = freshId();
        m_dialog->poolResponce(200, catalogue(id), QVariant());
        const CoinRow row = coinRow(*m_dialog, 1);
        const auto choose = [&](QComboBox* combo, Qt::Key key, const QString& changed) {
            const QVariantMap before = Test::storeSnapshot();
            QTest::keyClick(combo, key);
            QStringList values;
            const QVariantMap after = Test::storeSnapshot();
            for (auto it = after.cbegin(); it != after.cend(); ++it) {
                if (it.value() != before.value(it.key()) || !before.contains(it.key()))
                    values << it.key().mid(entryKey(id, "").size()) + '=' + it.value().toString();
            }
            QCOMPARE(values.join(' '), changed);
        };
        const QString most = QString::number(QThread::idealThreadCount());
        choose(row.cores, Qt::Key_End, "running=true speed=" + most);
        choose(row.cores, Qt::Key_Home, "running=false"); // the core count is kept
        choose(row.mergedMining, Qt::Key_Down, "mergedMining=tari");
        choose(row.mergedMining, Qt::Key_Home, "mergedMining=");
        QVERIFY(Test::rawStore().contains(entryKey(id, "mergedMining")));
    }

    void catalogueRequestedAtConstruction() {
        // Only scheme, host and port of the stored server count: its path is replaced.
        Test::FakeHttpServer server;
        QVERIFY(server.listen());
        const QString id = freshId();
        server.respond = [&](const auto&) {
            return Test::FakeHttpServer::Response(200, catalogue(id));
        };
        Settings::instance().setValue(QStringLiteral("server"), server.url("/api/2.2/").toString());
        m_dialog = std::make_unique<MainDialog>();
        QTRY_VERIFY(coinRow(*m_dialog, 1).ticker);
        QCOMPARE(coinRow(*m_dialog, 1).ticker->text(), QStringLiteral("XMR"));
        QCOMPARE(server.requests.size(), 1);
        const Test::FakeHttpServer::Request request = server.requests.at(0);
        QCOMPARE(request.method + ' ' + request.path, QByteArray("GET /api/2.3/pool/config"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    }

    void models() {
        using Mode = QAbstractItemModelTester::FailureReportingMode;
        CpuCoresModel cores;
        MergedMiningModel merged;
        MergedMiningProxyModel proxy(QStringLiteral("a")), otherCase(QStringLiteral("A"));
        proxy.setSourceModel(&merged);
        otherCase.setSourceModel(&merged);
        QAbstractItemModelTester coresTester(&cores, Mode::QtTest);
        QAbstractItemModelTester mergedTester(&merged, Mode::QtTest);
        QAbstractItemModelTester proxyTester(&proxy, Mode::QtTest);
        for (const char* pair : {"a x", "b y", "aa z", "a m", "a "})
            merged.addPool(QString(pair).section(' ', 0, 0), QString(pair).section(' ', 1));
        QCOMPARE(cores.rowCount(), QThread::idealThreadCount() + 1);
        QStringList partners;
        for (int row = 0; row < proxy.rowCount(); ++row)
            partners << proxy.index(row, 0).data(Qt::UserRole).toString();
        QCOMPARE(partners, (QStringList{"", "x", "m", ""}));
        QCOMPARE(otherCase.rowCount(), 1);
        // Partners show the ticker of their own stored entry, if they have one.
        Test::rawStore().setValue("miners/x/ticker", "XTM");
        QCOMPARE(proxy.index(1, 0).data().toString() + proxy.index(2, 0).data().toString(),
                 QStringLiteral("XTMNo"));
        QCOMPARE(proxy.index(0, 0).data().toString(), QStringLiteral("No"));
    }
};

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
