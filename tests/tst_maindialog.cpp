#include "app/Startup.h"
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

// A widget of the coin rows: column 0 the ticker label, 1 the cores, 2 the merged mining combo.
template <typename T = QComboBox> T* cell(QWidget& dialog, int row, int column) {
    auto* grid = dialog.findChild<QGridLayout*>(QStringLiteral("m_coins_layout"));
    QLayoutItem* item = grid->itemAtPosition(row, column);
    return item ? qobject_cast<T*>(item->widget()) : nullptr;
}

// A catalogue of one coin with two merged-mining partners, one of whose ports wraps.
QByteArray catalogue(const QString& id, bool showByDefault = true) {
    return QStringLiteral(R"({"%1": {"family": "cryptonight", "ticker": "xmr", "showByDefault": %2,
        "server": {"ip": "h", "stratumPort": 443,
                   "merged": {"wow": {"ip": "w"}, "tari": {"ip": "t", "stratumPort": %3}}}}})")
        .arg(id, showByDefault ? "true" : "false")
        .arg(3334 + 65536)
        .toUtf8();
}

// The partner model is process-wide and only grows, so every case names its coins afresh.
QString freshId() {
    static int counter = 0;
    return QStringLiteral("xmr%1").arg(++counter);
}

QString entryKey(const QString& coin, const QString& key) {
    return QStringLiteral("miners/%1/%2").arg(coin, key);
}

// A miner entry as one text: visible, worker, speed, running, mergedMining, ticker and pool.
QString entry(const QString& coin) {
    QStringList values;
    for (const char* key :
         {"visible", "worker", "speed", "running", "mergedMining", "ticker", "pool"})
        values << Test::rawStore().value(entryKey(coin, key)).toString();
    return values.join(' ');
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
        // The entry written (visible worker speed running mergedMining) and the combos' indexes.
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QVariantMap& stored, bool shown,
                            const QString& expected) {
            QTest::newRow(name) << stored << shown << expected;
        };
        const QString beyond = QString::number(QThread::idealThreadCount() + 1);
        const auto on = [](const QString& speed) {
            return QVariantMap{{"running", true}, {"speed", speed}};
        };
        const QVariantMap stored{{"visible", true},
                                 {"worker", "rig"},
                                 {"speed", 1},
                                 {"running", true},
                                 {"mergedMining", "wow"}};
        row("new coin, shown", {}, true, "true  1 false  | 0 0");
        row("new coin, hidden", {}, false, "false  1 false  | 0 0");
        row("stored entry wins", stored, false, "true rig 1 true wow | 1 2");
        row("stored without visible", {{"worker", "rig"}}, true, "false rig 1 false  | 0 0");
        row("off: 0, speed kept", {{"speed", beyond}}, false, "false  " + beyond + " false  | 0 0");
        row("on, above core count", on(beyond), false, "false  " + beyond + " true  | -1 0");
        row("speed above 255 kept", on("257"), false, "false  257 true  | -1 0");
        row("partner gone", {{"mergedMining", "old"}}, false, "false  1 false old | 0 -1");
        row("partner in other case", {{"mergedMining", "Tari"}}, false,
            "false  1 false Tari | 0 -1");
    }

    void handling() {
        QFETCH(QVariantMap, stored);
        QFETCH(bool, showByDefault);
        QFETCH(QString, expected);
        const QString id = freshId();
        QSettings raw = Test::rawStore();
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            raw.setValue(entryKey(id, it.key()), it.value());

        m_dialog->poolResponce(200, catalogue(id, showByDefault), QStringLiteral("pool"));

        QCOMPARE(entry(id) + QStringLiteral(" %1 %2")
                                 .arg(cell(*m_dialog, 1, 1)->currentIndex())
                                 .arg(cell(*m_dialog, 1, 2)->currentIndex()),
                 expected.replace("|", "XMR h:443"));
        const QVariantMap pools = raw.value(entryKey(id, "mergedPools")).toMap();
        QCOMPARE(pools.value("tari").toUrl(), QUrl("http://t:3334"));
        QCOMPARE(pools.value("wow").toUrl().port(), 0);
    }

    void failedRepliesWriteNothing_data() {
        QTest::addColumn<uint>("code");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("no reply") << 0u << QByteArray();
        QTest::newRow("201") << 201u << catalogue("xmr");
        QTest::newRow("array") << 200u << QByteArray("[{\"xmr\":{}}]");
        QTest::newRow("truncated") << 200u << catalogue("xmr").chopped(30);
    }
    void failedRepliesWriteNothing() {
        QFETCH(uint, code);
        QFETCH(QByteArray, data);
        Test::rawStore().setValue(entryKey("xmr", "speed"), 2);
        const QVariantMap before = Test::storeSnapshot();
        const int partners = MergedMiningModel::instance().rowCount();
        m_dialog->poolResponce(code, data, QStringLiteral("pool"));
        QVERIFY(!cell<QLabel>(*m_dialog, 1, 0));
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

        QVERIFY(cell<QLabel>(*m_dialog, 1, 0) && !cell<QLabel>(*m_dialog, 2, 0));
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
        const QString most = QString::number(QThread::idealThreadCount());
        QTest::keyClick(cell(*m_dialog, 1, 1), Qt::Key_End);
        QCOMPARE(entry(id), "true  " + most + " true  XMR h:443");
        QTest::keyClick(cell(*m_dialog, 1, 1), Qt::Key_Home); // the core count is kept
        QCOMPARE(entry(id), "true  " + most + " false  XMR h:443");
        QTest::keyClick(cell(*m_dialog, 1, 2), Qt::Key_Down);
        QCOMPARE(entry(id), "true  " + most + " false tari XMR h:443");
        QTest::keyClick(cell(*m_dialog, 1, 2), Qt::Key_Home);
        QCOMPARE(entry(id), "true  " + most + " false  XMR h:443");
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
        QTRY_VERIFY(cell<QLabel>(*m_dialog, 1, 0));
        QCOMPARE(cell<QLabel>(*m_dialog, 1, 0)->text(), QStringLiteral("XMR"));
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

    // Start-up comes last: it renames the application and styles it for the rest of the run.
    void startUpLogsStyleSheetAndStampsStore() {
        QFile resource(QString::fromLatin1(kStyleSheetResource));
        QVERIFY(resource.open(QIODevice::ReadOnly));
        const QByteArray sheet = QByteArray(kStyleSheetPrefix) + resource.readAll();
        prepareApplication(*qApp);
        QCOMPARE(qApp->styleSheet(), QString::fromUtf8(sheet));
        QCOMPARE(Test::rawStore().value("version").toString(), QStringLiteral("5.10"));
        // The first entry of the log, in the folder named after the application, holds the
        // whole prefixed style sheet.
        const QString logFile = Test::logDirectoryPath() + QStringLiteral("/vorlant.log");
        const QByteArray log = Test::readFile(logFile);
        const int start = log.indexOf("] [ info]  ");
        QVERIFY2(log.startsWith('[') && start > 0, log.left(200).constData());
        QVERIFY(log.mid(start + 11).startsWith(sheet + '\n'));
        applyStyleSheet(*qApp, QStringLiteral(":stylesheet/missing"));
        QVERIFY(
            Test::readFile(logFile).endsWith("] [error]  Unable to open file with stylesheet\n"));
    }

    void closingTheMainWindowEndsWithZero() {
        MainDialog* dialog = m_dialog.release();
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        QTimer::singleShot(0, dialog, &QWidget::close);
        QCOMPARE(QApplication::exec(), 0);
    }
};

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
