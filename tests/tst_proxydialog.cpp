#include "app/Startup.h"
#include "settings/Settings.h"
#include "support/TestEnvironment.h"
#include "ui/ProxyDialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace Vorlant;

namespace {

// The dialog's widgets, found the way the style sheet finds them: by object name.
template <typename T = QLineEdit> T* child(QWidget& dialog, const QString& name) {
    return dialog.findChild<T*>(name);
}

// Shows the dialog with the fields typed into (in custom mode), then the given mode chosen.
void fill(ProxyDialog& dialog, const QString& mode, const QString& host, const QString& port) {
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(child<QRadioButton>(dialog, "m_custom_proxy_radio"), Qt::LeftButton);
    child(dialog, "m_proxy_addr_edit")->setText(host);
    child(dialog, "m_proxy_port_edit")->setText(port);
    QTest::mouseClick(child<QRadioButton>(dialog, mode), Qt::LeftButton);
}

// The stored mode and URL as one text, e.g. "custom socks://h:1"; "-" where a key is absent.
QString stored() {
    QSettings store = Test::rawStore();
    return store.value("proxy", "-").toString() + ' ' + store.value("proxy-url", "-").toString();
}

// Something no apply of the stored settings could ever produce.
const QNetworkProxy kSentinel(QNetworkProxy::HttpProxy, QStringLiteral("sentinel.invalid"), 3128);

} // namespace

class TestProxyDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        Test::isolateEnvironment();
        qunsetenv("all_proxy");
        applyStyleSheet(*qApp);
    }
    void init() {
        Test::clearStore();
        Settings::instance().setValue("proxy", "SYSTEM");
        Settings::instance().setValue("proxy-url", "socks://old.example.org:1");
        QNetworkProxy::setApplicationProxy(kSentinel);
    }

    // What the dialog shows for a stored mode and URL; the fields are editable only in custom.
    void load_data() {
        QTest::addColumn<QVariant>("mode");
        QTest::addColumn<QVariant>("url");
        QTest::addColumn<QString>("shown"); // checked radio, address, port, fields enabled
        QTest::newRow("nothing stored") << QVariant() << QVariant() << "no,,,0";
        QTest::newRow("no, url kept") << QVariant("no") << QVariant("socks://h:1") << "no,h,1,0";
        QTest::newRow("system") << QVariant("system") << QVariant() << "system,,,0";
        QTest::newRow("case differs")
            << QVariant("SYSTEM") << QVariant("socks://h:2") << "custom,h,2,1";
        QTest::newRow("no port") << QVariant("custom") << QVariant("socks://h") << "custom,h,-1,1";
        QTest::newRow("ipv6") << QVariant("custom") << QVariant("socks://[::1]:3")
                              << "custom,::1,3,1";
    }
    void load() {
        QFETCH(QVariant, mode);
        QFETCH(QVariant, url);
        QFETCH(QString, shown);
        Test::clearStore();
        if (mode.isValid())
            Settings::instance().setValue("proxy", mode);
        if (url.isValid())
            Settings::instance().setValue("proxy-url", url);
        ProxyDialog dialog;
        QString checked;
        for (const char* radio : {"no", "system", "custom"}) {
            if (child<QRadioButton>(dialog, QStringLiteral("m_%1_proxy_radio").arg(radio))
                    ->isChecked())
                checked = radio;
        }
        QCOMPARE(QStringList({checked, child(dialog, "m_proxy_addr_edit")->text(),
                              child(dialog, "m_proxy_port_edit")->text(),
                              QString::number(child(dialog, "m_proxy_port_edit")->isEnabled())})
                     .join(','),
                 shown);
    }

    void ok_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("inForce");
        const auto row = [](const char* name, const char* mode, const char* host, const char* port,
                            const char* url, bool inForce) {
            QTest::newRow(name) << QStringLiteral("m_%1_proxy_radio").arg(mode) << host << port
                                << url << inForce;
        };
        row("plain", "custom", "proxy.example.org", "1080", "socks://proxy.example.org:1080", true);
        row("spaces", "custom", " \tProxy.example ", " 1080 ", "socks://proxy.example:1080", true);
        row("empty address", "custom", "", "1080", "socks://:1080", false);
        row("65535", "custom", "10.0.0.1", "65535", "socks://10.0.0.1:65535", true);
        row("above 65535", "custom", "10.0.0.1", "65536", "socks://10.0.0.1:0", false);
        row("ipv6 in brackets", "custom", "[::1]", "9050", "socks://[::1]:9050", true);
        row("no mode keeps the url", "no", "b.example", "1", "socks://b.example:1", false);
        // An address the custom mode would refuse must not wipe the last good one.
        row("unusable address in no mode", "no", "u@h", "1", "socks://old.example.org:1", false);
    }
    void ok() {
        QFETCH(QString, mode);
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, url);
        QFETCH(bool, inForce);
        ProxyDialog dialog;
        fill(dialog, mode, host, port);
        QTest::mouseClick(child<QPushButton>(dialog, "m_proxy_ok_pb"), Qt::LeftButton);

        QVERIFY(dialog.result() == QDialog::Accepted && !dialog.isVisible());
        QCOMPARE(stored(), mode.section('_', 1, 1) + ' ' + url);
        const QNetworkProxy proxy = QNetworkProxy::applicationProxy();
        QCOMPARE(proxy.type(), inForce ? QNetworkProxy::Socks5Proxy : QNetworkProxy::NoProxy);
        QCOMPARE(int(proxy.port()), inForce ? QUrl(url).port() : 0);

        // What was stored comes back the same way the next time.
        ProxyDialog again;
        QVERIFY(child<QRadioButton>(again, mode)->isChecked());
        QCOMPARE(child(again, "m_proxy_addr_edit")->text(), QUrl(url).host(QUrl::FullyDecoded));
    }

    void unusableAddressInCustomModeKeepsDialogOpen_data() {
        QTest::addColumn<QString>("host");
        QTest::newRow("space inside") << "proxy example.org";
        QTest::newRow("slash") << "proxy.example.org/socks";
        QTest::newRow("user info") << "user@proxy.example.org";
        QTest::newRow("port in address") << "proxy.example.org:1080";
        QTest::newRow("broken ipv6") << "1::2::3";
    }
    void unusableAddressInCustomModeKeepsDialogOpen() {
        QFETCH(QString, host);
        ProxyDialog dialog;
        fill(dialog, "m_custom_proxy_radio", host, "1080");
        QTest::mouseClick(child<QPushButton>(dialog, "m_proxy_ok_pb"), Qt::LeftButton);

        QVERIFY(dialog.result() == QDialog::Rejected && dialog.isVisible());
        QCOMPARE(stored(), QStringLiteral("SYSTEM socks://old.example.org:1"));
        QCOMPARE(QNetworkProxy::applicationProxy(), kSentinel);
        QCOMPARE(QApplication::focusWidget(), child(dialog, "m_proxy_addr_edit"));
        QCOMPARE(child(dialog, "m_proxy_addr_edit")->selectedText(), host);
    }

    void closingWithoutOkChangesNothing_data() {
        QTest::addColumn<bool>("escape");
        QTest::newRow("cancel") << false;
        QTest::newRow("escape, nothing stored") << true;
    }
    void closingWithoutOkChangesNothing() {
        QFETCH(bool, escape);
        if (escape)
            Test::clearStore();
        const QString before = stored();
        ProxyDialog dialog;
        fill(dialog, "m_no_proxy_radio", "other.example.org", "9050");
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(child<QPushButton>(dialog, "m_proxy_cancel_pb"), Qt::LeftButton);

        QVERIFY(dialog.result() == QDialog::Rejected && !dialog.isVisible());
        QCOMPARE(stored(), before);
        QCOMPARE(QNetworkProxy::applicationProxy(), kSentinel);
    }

    void returnInFieldPressesOk_data() {
        QTest::addColumn<QString>("field");
        QTest::newRow("address") << "m_proxy_addr_edit";
        QTest::newRow("port") << "m_proxy_port_edit";
    }
    void returnInFieldPressesOk() {
        QFETCH(QString, field);
        ProxyDialog dialog;
        fill(dialog, "m_custom_proxy_radio", "10.0.0.1", "1080");
        child(dialog, field)->setFocus();
        QTest::keyClick(child(dialog, field), Qt::Key_Return);

        QVERIFY(dialog.result() == QDialog::Accepted && !dialog.isVisible());
        QCOMPARE(stored(), QStringLiteral("custom socks://10.0.0.1:1080"));
    }

    // Not a check of its own: tools/screenshot-proxy-dialog.sh runs it on a virtual X display
    // to photograph the dialog. It shows a filled-in dialog, tells where the buttons are, and
    // waits for the script to close it.
    void preview() {
        if (qEnvironmentVariableIsEmpty("VORLANT_PREVIEW"))
            QSKIP("Runs only for tools/screenshot-proxy-dialog.sh");
        Settings::instance().setValue("proxy", "custom");
        Settings::instance().setValue("proxy-url", "socks://127.0.0.1:1080");
        ProxyDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTextStream out(stdout);
        for (const char* name : {"m_proxy_ok_pb", "m_proxy_cancel_pb"}) {
            const QPoint centre = child<QPushButton>(dialog, name)->geometry().center();
            const QPoint global = dialog.mapToGlobal(centre);
            out << name << ' ' << centre.x() << ' ' << centre.y() << ' ' << global.x() << ' '
                << global.y() << Qt::endl;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 120000);
    }
};

QTEST_MAIN(TestProxyDialog)
#include "tst_proxydialog.moc"
