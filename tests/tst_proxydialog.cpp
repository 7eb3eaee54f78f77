#include "app/Startup.h"
#include "settings/Settings.h"
#include "support/TestEnvironment.h"
#include "ui/ProxyDialog.h"

#include <QApplication>
#include <QLabel>
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

// The stored mode and URL as one text, e.g. "custom socks://h:1".
QString stored() {
    QSettings store = Test::rawStore();
    return store.value("proxy").toString() + ' ' + store.value("proxy-url").toString();
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

    // What the dialog shows for a stored mode and URL; the fields are editable only in custom.
    void load_data() { Test::addRows("proxy-dialog-load"); }
    void load() {
        QFETCH(QStringList, row);
        Test::clearStore();
        for (const int column : {0, 1})
            if (row[column] != "-")
                Settings::instance().setValue(column ? "proxy-url" : "proxy", row[column]);
        ProxyDialog dialog;
        QStringList seen;
        for (const char* radio : {"no", "system", "custom"})
            if (child<QRadioButton>(dialog, QString("m_%1_proxy_radio").arg(radio))->isChecked())
                seen << radio;
        const QLineEdit* port = child(dialog, "m_proxy_port_edit");
        seen << child(dialog, "m_proxy_addr_edit")->text() << port->text() << QString::number(port->isEnabled());
        QCOMPARE(seen.join(','), row[2]);
        dialog.accept(); // stores the port it showed
        QVERIFY(row[1] == "-" || QUrl(stored().section(' ', 1)).port() == seen[2].toInt());
    }

    // OK (by click, or Return in a field) stores the choice and puts it in force; an address or port
    // that custom mode cannot use keeps the dialog open on it, marked, and says why; Cancel and Escape
    // change nothing.
    void close_data() { Test::addRows("proxy-dialog-close"); }
    void close() {
        QFETCH(QStringList, row);
        const QString mode = row[0], how = row[3], url = row[4];
        Test::clearStore();
        Settings::instance().setValue("proxy", "SYSTEM");
        Settings::instance().setValue("proxy-url", "socks://old.example.org:1");
        QNetworkProxy::setApplicationProxy(kSentinel);
        ProxyDialog dialog;
        dialog.show();
        // The fields typed into in custom mode, then the row's mode chosen.
        QTest::mouseClick(child<QRadioButton>(dialog, "m_custom_proxy_radio"), Qt::LeftButton);
        child(dialog, "m_proxy_addr_edit")->setText(row[1]);
        child(dialog, "m_proxy_port_edit")->setText(row[2]);
        QTest::mouseClick(child<QRadioButton>(dialog, "m_" + mode + "_proxy_radio"), Qt::LeftButton);
        if (how == "escape")
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else if (how.endsWith("_edit"))
            QTest::keyClick(child(dialog, how), Qt::Key_Return);
        else
            QTest::mouseClick(child<QPushButton>(dialog, how), Qt::LeftButton);

        const bool saved = url.startsWith("socks:"), refused = url.startsWith("refused");
        QCOMPARE(dialog.result(), saved ? QDialog::Accepted : QDialog::Rejected);
        QCOMPARE(dialog.isVisible(), refused);
        QCOMPARE(stored(), saved ? mode + ' ' + url : "SYSTEM socks://old.example.org:1");
        const QNetworkProxy proxy = QNetworkProxy::applicationProxy();
        QCOMPARE(proxy.type(), !saved ? kSentinel.type()
                               : row[5] == "yes" ? QNetworkProxy::Socks5Proxy : QNetworkProxy::NoProxy);
        QCOMPARE(int(proxy.port()), !saved ? int(kSentinel.port()) : row[5] == "yes" ? QUrl(url).port() : 0);
        const auto* message = child<QLabel>(dialog, "m_proxy_error_label");
        QCOMPARE(message->isVisible() ? message->text() : "", row.value(6));
        if (refused) {
            const bool port = url.endsWith("port");
            QLineEdit* field = child(dialog, port ? "m_proxy_port_edit" : "m_proxy_addr_edit");
            QCOMPARE(dialog.focusWidget(), field);
            QCOMPARE(field->selectedText() + field->property("invalid").toString(), row[port ? 2 : 1] + "true");
        }
    }
};

QTEST_MAIN(TestProxyDialog)
#include "tst_proxydialog.moc"
