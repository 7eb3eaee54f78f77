#include "log/Logger.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

using namespace Vorlant;

class TestLogger : public QObject {
    Q_OBJECT

    static QString log(const QString& file) {
        return QString::fromUtf8(Test::readFile(Test::logDirectoryPath() + '/' + file));
    }

private slots:
    void initTestCase() {
        Test::isolateEnvironment();
        QCoreApplication::setApplicationName(QStringLiteral("vorlant-service"));
        // A log left by an earlier run; and a folder where a category's file should be.
        Test::writeFile(Test::logDirectoryPath() + "/vorlant.log", "earlier run\n");
        QDir().mkpath(Test::logDirectoryPath() + "/blocked.log");
    }

    void formatLine_data() {
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* level, const char* message,
                            const char* expected) {
            QTest::newRow(name) << QString(level) << QString(message) << QString(expected);
        };
        row("info", "info", "started", "[06.03.2026 18:05] [ info]  started");
        row("error", "error", "failed", "[06.03.2026 18:05] [error]  failed");
        row("placeholders", "info", "%1 %2", "[06.03.2026 18:05] [ info]  %1 %2");
        row("multi-line", "info", "a\nb {\n}", "[06.03.2026 18:05] [ info]  a\nb {\n}");
        row("empty", "error", "", "[06.03.2026 18:05] [error]  ");
    }

    void formatLine() {
        QFETCH(QString, level);
        QFETCH(QString, message);
        QFETCH(QString, expected);
        const QDateTime when(QDate(2026, 3, 6), QTime(18, 5, 59));
        QCOMPARE(Logger::formatLine(when, level, message), expected);
    }

    void categoriesGetFilesOfTheirOwn() {
        Logger::error("Network", "to network.log");
        Logger::error("Blocked", "to the main file"); // a folder stands where its file would
        Logger::error(QString(), "to the main file as well");
        QVERIFY(log("network.log").endsWith("] [error]  to network.log\n"));
        QVERIFY(log("vorlant.log").startsWith("earlier run\n"));
        QVERIFY(log("vorlant.log").contains("] [error]  to the main file\n"));
        QVERIFY(log("vorlant.log").endsWith("] [error]  to the main file as well\n"));
    }

    void threadsNeverInterleaveLines() {
        const auto writer = [](char tag) {
            return QThread::create([tag] {
                for (int i = 0; i < 300; ++i)
                    Logger::info("threads", QString(200, QLatin1Char(tag)));
            });
        };
        QScopedPointer<QThread> a(writer('a')), b(writer('b'));
        a->start();
        b->start();
        QVERIFY(a->wait(60000) && b->wait(60000));
        const QStringList lines = log("threads.log").split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 600);
        const QRegularExpression shape(
            R"(^\[\d\d\.\d\d\.\d{4} \d\d:\d\d\] \[ info\]  (a{200}|b{200})$)");
        for (const QString& line : lines)
            QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
