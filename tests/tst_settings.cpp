#include "settings/Settings.h"
#include "support/TestEnvironment.h"

#include <QSettings>
#include <QtTest>

using namespace Vorlant;

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init() { Test::clearStore(); }

    void freshStoreDefaults();
    void roundTripIsImmediate_data();
    void roundTripIsImmediate();
    void currentVersion();
    void storeIsTheOrganisationNode();
};

void TestSettings::freshStoreDefaults() {
    Settings& s = Settings::instance();
    QCOMPARE(s.value(QStringLiteral("email")).toString(), QString());
    QCOMPARE(s.value(QStringLiteral("proxy"), QStringLiteral("no")).toString(),
             QStringLiteral("no"));
    QVERIFY(s.value(QStringLiteral("proxy-url")).toUrl().isEmpty());
    QVERIFY(!s.value(QStringLiteral("version")).isValid());
}

void TestSettings::roundTripIsImmediate_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("email") << "email" << QVariant(QStringLiteral("user@example.org "));
    QTest::newRow("empty email") << "email" << QVariant(QString());
    QTest::newRow("proxy") << "proxy" << QVariant(QStringLiteral("custom"));
    QTest::newRow("proxy-url") << "proxy-url" << QVariant(QStringLiteral("socks://h:1080"));
    QTest::newRow("unicode") << "email" << QVariant(QStringLiteral("jörg@bäcker.de"));
}

void TestSettings::roundTripIsImmediate() {
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    Settings::instance().setValue(key, value);
    QCOMPARE(Settings::instance().value(key).toString(), value.toString());
    // Another handle on the same store sees it too: nothing is held back in a cache.
    QSettings other(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Vorlant"));
    QCOMPARE(other.value(key).toString(), value.toString());
}

void TestSettings::currentVersion() {
    QCOMPARE(Settings::currentVersion(), QStringLiteral("5.10"));
}

void TestSettings::storeIsTheOrganisationNode() {
    Settings::instance().setValue(QStringLiteral("email"), QStringLiteral("a@b"));
    QSettings other(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Vorlant"));
    other.sync();
    QVERIFY2(QFileInfo(Test::storeFilePath()).fileName() == QStringLiteral("Vorlant.conf"),
             qPrintable(Test::storeFilePath()));
    QVERIFY(QFileInfo::exists(Test::storeFilePath()));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
