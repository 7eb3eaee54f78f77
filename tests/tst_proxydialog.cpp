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
    QTest::mouseClick(child<QRadioButton>(dialog, "m_custom_proxy_radio"), Qt::LeftButton);
    child(dialog, "m_proxy_addr_edit")->setText(host);
    child(dialog, "m_proxy_port_edit")->setText(port);
    QTest::mouseClick(child<QRadioButton>(dialog, "m_" + mode + "_proxy_radio"), Qt::LeftButton);
}

// The stored mode and URL as one text, e.g. "custom socks://h:1"; "-" where a key is absent.
QString stored() {
    QSettings store = Test::rawStore();
    return store.value("proxy", "-").toString() + ' ' + store.value("proxy-url", "-").toString();
}

// Something no apply of the stored settings could ever produce.
const QNetworkProxy kSentinel(QNetworkProxy::HttpProxy, "sentinel.invalid", 3128);

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
        QTest::newRow("case differs") << QVariant("SYSTEM") << QVariant("socks://h:2") << "custom,h,2,1";
        QTest::newRow("no port") << QVariant("custom") << QVariant("socks://h") << "custom,h,1080,1";
        QTest::newRow("ipv6") << QVariant("custom") << QVariant("socks://[::1]:3") << "custom,::1,3,1";
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
        QStringList seen;
        for (const char* radio : {"no", "system", "custom"})
            if (child<QRadioButton>(dialog, QString("m_%1_proxy_radio").arg(radio))->isChecked())
                seen << radio;
        seen << child(dialog, "m_proxy_addr_edit")->text() << child(dialog, "m_proxy_port_edit")->text()
             << QString::number(child(dialog, "m_proxy_port_edit")->isEnabled());
        QCOMPARE(seen.join(','), shown);
        dialog.accept(); // stores the port it showed
        if (url.isValid())
            QCOMPARE(QUrl(stored().section(' ', 1)).port(), seen[2].toInt());
    }

    // OK (by click, or Return in a field) stores the choice and puts it in force; an address that
    // custom mode cannot store keeps the dialog open on it; Cancel and Escape change nothing.
    void close_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("url"); // stored afterwards; empty: the store is unchanged
        QTest::addColumn<bool>("inForce");
        const auto row = [](const char* name, const char* mode, const char* host, const char* port,
                            const char* url, bool inForce, const char* how = "m_proxy_ok_pb") {
            QTest::newRow(name) << mode << host << port << how << url << inForce;
        };
        row("plain", "custom", "proxy.example.org", "1080", "socks://proxy.example.org:1080", true);
        row("spaces", "custom", " \tProxy.example ", " 1080 ", "socks://proxy.example:1080", true);
        row("empty address", "custom", "", "1080", "socks://:1080", false);
        row("65535", "custom", "10.0.0.1", "65535", "socks://10.0.0.1:65535", true);
        row("above 65535", "custom", "10.0.0.1", "65536", "socks://10.0.0.1:0", false);
        row("ipv6 in brackets", "custom", "[::1]", "9050", "socks://[::1]:9050", true);
        row("no mode keeps the url", "no", "b.example", "1", "socks://b.example:1", false);
        row("unusable address in no mode", "no", "u@h", "1", "socks://old.example.org:1", false);
        row("return in address", "custom", "10.0.0.1", "1080", "socks://10.0.0.1:1080", true, "m_proxy_addr_edit");
        row("return in port", "custom", "10.0.0.1", "1080", "socks://10.0.0.1:1080", true, "m_proxy_port_edit");
        for (const char* host : {"proxy example.org", "proxy.example.org/socks", "user@proxy.example.org",
                                 "proxy.example.org:1080", "1::2::3"})
            row(host, "custom", host, "1080", "", false);
        row("cancel", "no", "other.example.org", "9050", "", false, "m_proxy_cancel_pb");
        row("escape", "no", "other.example.org", "9050", "", false, "escape");
    }
    void close() {
        QFETCH(QString, mode);
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, how);
        QFETCH(QString, url);
        QFETCH(bool, inForce);
        ProxyDialog dialog;
        fill(dialog, mode, host, port);
        if (how == "escape")
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else if (how.endsWith("_edit"))
            QTest::keyClick(child(dialog, how), Qt::Key_Return);
        else
            QTest::mouseClick(child<QPushButton>(dialog, how), Qt::LeftButton);

        const bool accepted = how.endsWith("_edit") || how.endsWith("ok_pb");
        const bool refused = accepted && url.isEmpty();
        QCOMPARE(dialog.result(), accepted && !refused ? QDialog::Accepted : QDialog::Rejected);
        QCOMPARE(dialog.isVisible(), refused);
        QCOMPARE(stored(), url.isEmpty() ? "SYSTEM socks://old.example.org:1" : mode + ' ' + url);
        const QNetworkProxy proxy = QNetworkProxy::applicationProxy();
        if (url.isEmpty()) {
            QCOMPARE(proxy, kSentinel);
        } else {
            QCOMPARE(proxy.type(), inForce ? QNetworkProxy::Socks5Proxy : QNetworkProxy::NoProxy);
            QCOMPARE(int(proxy.port()), inForce ? QUrl(url).port() : 0);
        }
        if (refused) {
            QCOMPARE(dialog.focusWidget(), child(dialog, "m_proxy_addr_edit"));
            QCOMPARE(child(dialog, "m_proxy_addr_edit")->selectedText(), host);
        }
    }
};

QTEST_MAIN(TestProxyDialog)
#include "tst_proxydialog.moc"
