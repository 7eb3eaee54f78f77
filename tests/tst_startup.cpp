#include "app/Startup.h"
#include "settings/Settings.h"
#include "support/Fixtures.h"
#include "support/TestEnvironment.h"
#include "ui/MainDialog.h"

#include <QApplication>
#include <QtTest>

using namespace Vorlant;

namespace {

QByteArray mainLog() {
    return Test::readFile(Test::logDirectoryPath() + QStringLiteral("/vorlant.log"));
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }

    void logsStyleSheetAndStampsStore();
    void closingTheMainWindowEndsWithZero();
};

void TestStartup::logsStyleSheetAndStampsStore() {
    QFile resource(QString::fromLatin1(kStyleSheetResource));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    const QByteArray expectedSheet = QByteArray(kStyleSheetPrefix) + resource.readAll();

    prepareApplication(*qApp);

    QCOMPARE(qApp->styleSheet(), QString::fromUtf8(expectedSheet));
    QCOMPARE(Settings::instance().value(QStringLiteral("version")).toString(),
             QStringLiteral("5.10"));
    // The first entry of the log, in the folder named after the application, holds the
    // whole prefixed style sheet.
    const QByteArray log = mainLog();
    const int start = log.indexOf("] [ info]  ");
    QVERIFY2(log.startsWith('[') && start > 0, log.left(200).constData());
    QVERIFY(log.mid(start + 11).startsWith(expectedSheet + '\n'));

    applyStyleSheet(*qApp, QStringLiteral(":stylesheet/missing"));
    QVERIFY(mainLog().trimmed().endsWith("] [error]  Unable to open file with stylesheet"));
}

void TestStartup::closingTheMainWindowEndsWithZero() {
    Settings::instance().setValue(QStringLiteral("server"), QStringLiteral("http://127.0.0.1:9"));
    auto* dialog = new MainDialog();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    QTimer::singleShot(0, dialog, &QWidget::close);
    QCOMPARE(QApplication::exec(), 0);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
