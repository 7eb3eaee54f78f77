#include "settings/ServerUrl.h"
#include "settings/Settings.h"
#include "support/TestEnvironment.h"
#include "ui/CpuCoresModel.h"
#include "ui/MainDialog.h"
#include "ui/MergedMiningModel.h"
#include "ui/MergedMiningProxyModel.h"
#include "ui/PoolCatalogue.h"
#include "ui/ProxyDialog.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QtTest>

using namespace Vorlant;

namespace {

// A widget of the first coin row: column 0 the ticker label, 1 the cores, 2 the partner combo.
template <typename T = QComboBox> T* cell(QWidget& dialog, int column, int row = 1) {
    QLayoutItem* item = dialog.findChild<QGridLayout*>("m_coins_layout")->itemAtPosition(row, column);
    return item ? qobject_cast<T*>(item->widget()) : nullptr;
}

// One coin with two merged-mining partners, one of whose ports wraps; extra coins as given.
// A "%2" in the host must not swallow the port.
QByteArray catalogue(const QString& id, bool showByDefault = true, const QString& extra = {}) {
    return QString(R"({%4 "%1": {"family": "cryptonight", "ticker": "xmr", "showByDefault": %2,
        "server": {"ip": "h%5", "stratumPort": 443,
                   "merged": {"wow": {"ip": "w"}, "tari": {"ip": "t", "stratumPort": %3}}}}})")
        .arg(id, showByDefault ? "true" : "false", QString::number(3334 + 65536), extra, "%2")
        .toUtf8();
}

// The partner model is process-wide and only grows, so every case names its coins afresh.
QString freshId() {
    static int counter = 0;
    return QString("xmr%1").arg(++counter);
}

// A miner entry as one text: visible, worker, speed, running, mergedMining, ticker and pool.
QString entry(const QString& coin) {
    QStringList values;
    for (const char* key : {"visible", "worker", "speed", "running", "mergedMining", "ticker", "pool"})
        values << Test::rawStore().value(QString("miners/%1/%2").arg(coin, key)).toString();
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
        Settings::instance().setValue("server", "http://127.0.0.1:9");
        m_dialog = std::make_unique<MainDialog>();
    }

    void serverIsStoredBack_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absent") << QVariant() << QString(kDefaultServerUrl);
        QTest::newRow("empty, as an upgrade from 1.05 leaves it") << QVariant("") << QString(kDefaultServerUrl);
        QTest::newRow("own server") << QVariant("https://a.example/b") << "https://a.example/b";
        QTest::newRow("URL value") << QVariant(QUrl("https://c.example")) << "https://c.example";
    }
    void serverIsStoredBack() {
        QFETCH(QVariant, stored);
        QFETCH(QString, expected);
        Test::clearStore();
        if (stored.isValid())
            Settings::instance().setValue("server", stored);
        QCOMPARE(loadServerUrl(Settings::instance()), expected);
        QCOMPARE(Test::rawStore().value("server").toString(), expected);
    }

    // Shown as stored, and every keystroke stored untrimmed.
    void email() {
        Settings::instance().setValue("email", " kept@example.org ");
        m_dialog = std::make_unique<MainDialog>();
        auto* edit = m_dialog->findChild<QLineEdit*>("m_email_edit");
        QCOMPARE(edit->text(), QString(" kept@example.org "));
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(Test::rawStore().value("email").toString(), QString(" kept@example.org"));
    }

    void handling_data() {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<bool>("showByDefault");
        // The entry written (visible worker speed running mergedMining) and the combos' indexes.
        QTest::addColumn<QString>("expected");
        const QString beyond = QString::number(QThread::idealThreadCount() + 1);
        const auto on = [](const QString& speed) { return QVariantMap{{"running", true}, {"speed", speed}}; };
        const QVariantMap stored{
            {"visible", true}, {"worker", "rig"}, {"speed", 1}, {"running", true}, {"mergedMining", "wow"}};
        QTest::newRow("new coin, shown") << QVariantMap() << true << "true  1 false  | 0 0";
        QTest::newRow("new coin, hidden") << QVariantMap() << false << "false  1 false  | 0 0";
        QTest::newRow("stored entry wins") << stored << false << "true rig 1 true wow | 1 2";
        QTest::newRow("stored without visible") << QVariantMap{{"worker", "rig"}} << true << "false rig 1 false  | 0 0";
        QTest::newRow("off: 0, speed kept") << QVariantMap{{"speed", beyond}} << false << "false  " + beyond + " false  | 0 0";
        QTest::newRow("on, above core count") << on(beyond) << false << "false  " + beyond + " true  | -1 0";
        QTest::newRow("speed above 255 kept") << on("257") << false << "false  257 true  | -1 0";
        QTest::newRow("partner gone") << QVariantMap{{"mergedMining", "old"}} << false << "false  1 false old | 0 -1";
        QTest::newRow("partner in other case") << QVariantMap{{"mergedMining", "Tari"}} << false << "false  1 false Tari | 0 -1";
    }
    void handling() {
        QFETCH(QVariantMap, stored);
        QFETCH(bool, showByDefault);
        QFETCH(QString, expected);
        const QString id = freshId();
        QSettings raw = Test::rawStore();
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            raw.setValue(QString("miners/%1/%2").arg(id, it.key()), it.value());
        m_dialog->poolResponce(200, catalogue(id, showByDefault), QString("pool"));
        QCOMPARE(entry(id) + QString(" %1 %2").arg(cell(*m_dialog, 1)->currentIndex()).arg(cell(*m_dialog, 2)->currentIndex()),
                 expected.replace("|", "XMR h%2:443"));
        QCOMPARE(cell<QLabel>(*m_dialog, 0)->text(), QString("XMR"));
        const QVariantMap pools = raw.value("miners/" + id + "/mergedPools").toMap();
        QCOMPARE(pools.value("tari").toUrl(), QUrl("http://t:3334"));
        QCOMPARE(pools.value("wow").toUrl().port(), 0);
    }

    // Failed replies and unusable coin ids ("", "/", "\" or a control character inside) write nothing,
    // add no row and register no partner.
    void onlyUsableCoinsOfGoodRepliesAreWritten_data() {
        QTest::addColumn<uint>("code");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("good"); // the one coin that gets a row, if any
        const QString good = freshId();
        const auto coin = [](const QString& id) {
            return QString(R"("%1": {"family": "cryptonight", "server": {"merged": {"p": {}}}},)").arg(id);
        };
        QString bad;
        for (const QString& id : {QString(), QString("/"), good + "/x", "x\\\\" + good, good + "\\u0000x"})
            bad += coin(id);
        QTest::newRow("no reply") << 0u << catalogue("xmr") << QString();
        QTest::newRow("201") << 201u << catalogue("xmr") << QString();
        QTest::newRow("array") << 200u << QByteArray("[{\"xmr\":{}}]") << QString();
        QTest::newRow("truncated") << 200u << catalogue("xmr").chopped(30) << QString();
        QTest::newRow("bad ids") << 200u << catalogue(good, true, bad) << good;
        // Registry keys ignore letter case: a second id in other case would share the entry.
        const QString twin = freshId().toUpper();
        QTest::newRow("id in other case") << 200u << catalogue(twin, true, coin(twin.toLower())) << twin;
        QTest::newRow("other family") << 200u << catalogue(good + "f", true, R"("a": {"family": "Cryptonight"},)") << good + "f";
    }
    void onlyUsableCoinsOfGoodRepliesAreWritten() {
        QFETCH(uint, code);
        QFETCH(QByteArray, data);
        QFETCH(QString, good);
        Test::rawStore().setValue("miners/xmr/speed", 2);
        const QVariantMap before = Test::storeSnapshot();
        const int partners = MergedMiningModel::instance().rowCount();
        m_dialog->poolResponce(code, data, QString("pool"));
        QCOMPARE(bool(cell<QLabel>(*m_dialog, 0)), !good.isNull());
        QVERIFY(!cell<QLabel>(*m_dialog, 0, 2));
        QCOMPARE(MergedMiningModel::instance().rowCount(), partners + (good.isNull() ? 0 : 2));
        QVariantMap after = Test::storeSnapshot();
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(after.take(it.key()), it.value());
        QStringList written;
        for (const QString& key : after.keys())
            written << QString(key).remove("miners/" + good + '/');
        QCOMPARE(written.join(' '), good.isNull() ? QString() : "mergedMining mergedPools pool running speed ticker visible worker");
    }

    void storedEntryInOtherLetterCase() {
        const QVariantMap entries{{"XMR", QVariantMap{{"speed", 3}}}, {"xmr2", QVariantMap{{"speed", 4}}}};
        QCOMPARE(storedEntryOf(entries, "xmr").value("speed").toInt() + storedEntryOf(entries, "xmr2").value("speed").toInt(), 7);
        QVERIFY(storedEntryOf(entries, "bcn").isEmpty());
    }

    void userChoicesAreStored() {
        const QString id = freshId();
        m_dialog->poolResponce(200, catalogue(id), QVariant());
        const QString most = QString::number(QThread::idealThreadCount());
        QTest::keyClick(cell(*m_dialog, 1), Qt::Key_End);
        QCOMPARE(entry(id), "true  " + most + " true  XMR h%2:443");
        QTest::keyClick(cell(*m_dialog, 1), Qt::Key_Home); // the core count is kept
        QCOMPARE(entry(id), "true  " + most + " false  XMR h%2:443");
        QTest::keyClick(cell(*m_dialog, 2), Qt::Key_Down);
        QCOMPARE(entry(id), "true  " + most + " false tari XMR h%2:443");
        QTest::keyClick(cell(*m_dialog, 2), Qt::Key_Home);
        QCOMPARE(entry(id), "true  " + most + " false  XMR h%2:443");
        QVERIFY(Test::rawStore().contains("miners/" + id + "/mergedMining"));
    }

    void models() {
        using Mode = QAbstractItemModelTester::FailureReportingMode;
        CpuCoresModel cores;
        MergedMiningModel merged;
        MergedMiningProxyModel proxy("a"), otherCase("A");
        proxy.setSourceModel(&merged);
        otherCase.setSourceModel(&merged);
        QAbstractItemModelTester coresTester(&cores, Mode::QtTest), mergedTester(&merged, Mode::QtTest),
            proxyTester(&proxy, Mode::QtTest);
        for (const char* pair : {"a x", "b y", "aa z", "a m", "a "})
            merged.addPool(QString(pair).section(' ', 0, 0), QString(pair).section(' ', 1));
        QCOMPARE(cores.rowCount(), QThread::idealThreadCount() + 1);
        QCOMPARE(cores.index(2, 0).data().toInt() + cores.index(2, 0).data(Qt::UserRole).toInt(), 4);
        QStringList partners;
        for (int row = 0; row < proxy.rowCount(); ++row)
            partners << proxy.index(row, 0).data(Qt::UserRole).toString();
        QCOMPARE(partners, (QStringList{"", "x", "m", ""}));
        QCOMPARE(otherCase.rowCount(), 1);
        // Partners show the ticker of their own stored entry, if they have one.
        Test::rawStore().setValue("miners/x/ticker", "XTM");
        QCOMPARE(proxy.index(0, 0).data().toString() + proxy.index(1, 0).data().toString() +
                     proxy.index(2, 0).data().toString(), QString("NoXTMNo"));
    }

    // A store that keeps nothing: one line says so, and the inputs that write take nothing until a
    // write-back succeeds again. A folder in place of the file stops even root.
    void unwritableStoreIsShown() {
#ifdef Q_OS_WIN
        QSKIP("The store is a registry key here, and Wine enforces no registry permissions to take away");
#endif
        auto* notice = m_dialog->findChild<QLabel*>("m_store_notice_label");
        QVERIFY(notice->isHidden());
        m_dialog->poolResponce(200, catalogue(freshId()), QVariant());
        const QString path = Test::rawStore().fileName();
        QVERIFY(QFile::remove(path) && QDir().mkdir(path));
        QTest::keyClick(cell(*m_dialog, 1), Qt::Key_End);
        QTRY_VERIFY(!notice->isHidden());
        QCOMPARE(notice->text(), "Settings can't be saved: no permission to change " + QDir::toNativeSeparators(path));
        const auto writable = [this] {
            const ProxyDialog proxy(m_dialog.get());
            return QString("%1%2%3").arg(!m_dialog->findChild<QLineEdit*>("m_email_edit")->isReadOnly())
                .arg(cell(*m_dialog, 1)->isEnabled()).arg(proxy.findChild<QPushButton*>("m_proxy_ok_pb")->isEnabled());
        };
        QCOMPARE(writable(), QString("000"));
        QVERIFY(QDir().rmdir(path));
        m_dialog->show(); // the user comes back to the window
        QTRY_VERIFY(notice->isHidden());
        QCOMPARE(writable(), QString("111"));
    }
};

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
