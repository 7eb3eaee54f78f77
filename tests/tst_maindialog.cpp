#include "settings/ServerUrl.h"
#include "settings/Settings.h"
#include "support/TestEnvironment.h"
#include "ui/MainDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace Vorlant;

namespace {

// A local port where nothing listens: the dialog's catalogue request fails at once and
// never leaves the machine.
const char kUnreachableServer[] = "http://127.0.0.1:9";

QString stored(const char* key) {
    return Settings::instance().value(QString::fromLatin1(key)).toString();
}

} // namespace

class TestMainDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init() {
        Test::clearStore();
        Settings::instance().setValue(QStringLiteral("server"),
                                      QString::fromLatin1(kUnreachableServer));
    }

    void serverIsStoredBack_data();
    void serverIsStoredBack();
    void formHasItsNamesAndTexts();
    void widthIsFixed();
    void emailIsLoadedWithoutWriting();
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
    Test::clearStore();
    if (stored.isValid())
        Settings::instance().setValue(QStringLiteral("server"), stored);
    QCOMPARE(loadServerUrl(Settings::instance()), expected);
    QCOMPARE(Settings::instance().value(QStringLiteral("server")).toString(), expected);
}

void TestMainDialog::formHasItsNamesAndTexts() {
    MainDialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("MainDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Vorlant service settings"));
    QVERIFY(dialog.findChild<QLineEdit*>(QStringLiteral("m_email_edit")));
    auto* proxyButton = dialog.findChild<QPushButton*>(QStringLiteral("m_proxy_pb"));
    QVERIFY(proxyButton);
    QCOMPARE(proxyButton->text(), QStringLiteral("Proxy settiings"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("label"))->text(), QStringLiteral("Email"));
    auto* logo = dialog.findChild<QLabel*>(QStringLiteral("label_2"));
    QVERIFY(logo);
    QVERIFY(!logo->pixmap(Qt::ReturnByValue).isNull());

    auto* grid = dialog.findChild<QGridLayout*>(QStringLiteral("m_coins_layout"));
    QVERIFY(grid);
    QCOMPARE(grid->spacing(), 10);
    const QStringList header{QStringLiteral("Currency"), QStringLiteral("Cores number"),
                             QStringLiteral("Merged mining")};
    const Qt::Alignment alignments[] = {Qt::AlignLeft, Qt::AlignCenter, Qt::AlignCenter};
    for (int column = 0; column < header.size(); ++column) {
        QLayoutItem* cell = grid->itemAtPosition(0, column);
        QVERIFY(cell);
        auto* label = qobject_cast<QLabel*>(cell->widget());
        QVERIFY(label);
        QCOMPARE(label->text(), header[column]);
        QCOMPARE(label->parentWidget(), &dialog);
        QCOMPARE(cell->alignment(), alignments[column]);
    }
}

void TestMainDialog::widthIsFixed() {
    MainDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.width(), 500);
    QCOMPARE(dialog.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    dialog.resize(800, 700);
    QCOMPARE(dialog.width(), 500);
    QCOMPARE(dialog.height(), 700);
}

void TestMainDialog::emailIsLoadedWithoutWriting() {
    Settings::instance().setValue(QStringLiteral("email"), QStringLiteral(" kept@example.org "));
    MainDialog dialog;
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("m_email_edit"));
    QCOMPARE(edit->text(), QStringLiteral(" kept@example.org "));

    init();
    MainDialog fresh;
    QVERIFY(fresh.findChild<QLineEdit*>(QStringLiteral("m_email_edit"))->text().isEmpty());
    QVERIFY(!Settings::instance().value(QStringLiteral("email")).isValid());
}

void TestMainDialog::everyEmailChangeIsStoredUntrimmed() {
    MainDialog dialog;
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("m_email_edit"));
    QTest::keyClicks(edit, QStringLiteral("me@x.io"));
    QCOMPARE(stored("email"), QStringLiteral("me@x.io"));
    QTest::keyClick(edit, Qt::Key_Space);
    QCOMPARE(stored("email"), QStringLiteral("me@x.io "));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(stored("email"), QStringLiteral("me@x.i"));
    edit->clear();
    QVERIFY(Settings::instance().value(QStringLiteral("email")).isValid());
    QCOMPARE(stored("email"), QString());
}

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
