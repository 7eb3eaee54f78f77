#include "settings/ServerUrl.h"
#include "settings/Settings.h"
#include "support/TestEnvironment.h"
#include "ui/MainDialog.h"

#include <QLineEdit>
#include <QtTest>

using namespace Vorlant;

namespace {

QVariant storedValue(const char* key) {
    return Settings::instance().value(QString::fromLatin1(key));
}

} // namespace

class TestMainDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init() { Test::clearStore(); }

    void serverIsStoredBack_data();
    void serverIsStoredBack();
    void everyEmailChangeIsStoredUntrimmed();
};

void TestMainDialog::serverIsStoredBack_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("expected");
    const QString fallback = QString::fromLatin1(kDefaultServerUrl);
    QTest::newRow("absent") << QVariant() << fallback;
    QTest::newRow("empty, as an upgrade from 1.05 leaves it") << QVariant(QString()) << fallback;
    QTest::newRow("empty URL value") << QVariant(QUrl()) << fallback;
    QTest::newRow("own server") << QVariant(QStringLiteral("https://pool.example.org/base"))
                                << "https://pool.example.org/base";
    QTest::newRow("URL value from an upgrade")
        << QVariant(QUrl(QStringLiteral("https://old.example.org"))) << "https://old.example.org";
}

void TestMainDialog::serverIsStoredBack() {
    QFETCH(QVariant, stored);
    QFETCH(QString, expected);
    if (stored.isValid())
        Settings::instance().setValue(QStringLiteral("server"), stored);
    QCOMPARE(loadServerUrl(Settings::instance()), expected);
    QCOMPARE(storedValue("server").toString(), expected);
}

void TestMainDialog::everyEmailChangeIsStoredUntrimmed() {
    // Nothing listens there: the dialog's catalogue request fails without leaving the machine.
    Settings::instance().setValue(QStringLiteral("server"), QStringLiteral("http://127.0.0.1:9"));
    {
        MainDialog fresh;
        QVERIFY(fresh.findChild<QLineEdit*>(QStringLiteral("m_email_edit"))->text().isEmpty());
        QVERIFY(!storedValue("email").isValid()); // loading writes nothing
    }
    Settings::instance().setValue(QStringLiteral("email"), QStringLiteral(" kept@example.org "));
    MainDialog dialog;
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("m_email_edit"));
    QCOMPARE(edit->text(), QStringLiteral(" kept@example.org "));
    edit->clear();
    QVERIFY(storedValue("email").isValid());
    QCOMPARE(storedValue("email").toString(), QString());
    QTest::keyClicks(edit, QStringLiteral("me@x.io"));
    QCOMPARE(storedValue("email").toString(), QStringLiteral("me@x.io"));
    QTest::keyClick(edit, Qt::Key_Space);
    QCOMPARE(storedValue("email").toString(), QStringLiteral("me@x.io "));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(storedValue("email").toString(), QStringLiteral("me@x.i"));
}

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
