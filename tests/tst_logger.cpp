#include "log/Logger.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

using namespace Vorlant;

class TestLogger : public QObject {
    Q_OBJECT

    QString m_appData; // the folder that holds the log folder

private slots:
    void initTestCase() {
        Test::isolateEnvironment();
        QCoreApplication::setApplicationName("vorlant-service");
        m_appData = QFileInfo(Test::logDirectoryPath()).path();
        Test::writeFile(m_appData, "a file where the program's data folder should be");
    }

    // While the log folder cannot be made, entries neither fail nor go anywhere else; once it
    // can, the log picks up again.
    void survivesAndRecovers() {
        Logger::info(QString(), "nowhere to go");
        Logger::error("Net", "nowhere either");
        QVERIFY(QFileInfo(m_appData).isFile());
        QVERIFY(QFile::remove(m_appData));
        Logger::info(QString(), "back again");
        QVERIFY(Test::readLog("vorlant.log").startsWith('['));
        QVERIFY(Test::readLog("vorlant.log").endsWith("] [ info]  back again\n"));
        QCOMPARE(Test::readLog("vorlant.log").count('\n'), 1);
    }

    void formatLine_data() {
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected");
        QTest::newRow("info") << "info" << "started" << "[06.03.2026 18:05] [ info]  started";
        QTest::newRow("error") << "error" << "failed" << "[06.03.2026 18:05] [error]  failed";
        QTest::newRow("placeholders") << "info" << "%1 %2" << "[06.03.2026 18:05] [ info]  %1 %2";
        QTest::newRow("multi-line") << "info" << "a\nb {\n}" << "[06.03.2026 18:05] [ info]  a\nb {\n}";
    }
    void formatLine() {
        QFETCH(QString, level);
        QFETCH(QString, message);
        QFETCH(QString, expected);
        QCOMPARE(Logger::formatLine(QDateTime(QDate(2026, 3, 6), QTime(18, 5, 59)), level, message), expected);
    }

    void categoriesGetFilesOfTheirOwn() {
        QDir().mkpath(Test::logDirectoryPath() + "/blocked.log");
        Test::writeFile(Test::logDirectoryPath() + "/network.log", "earlier run\n");
        Logger::error("Network", "to\r\nnetwork.log"); // one line break, as the platform writes it
        Logger::error("Blocked", "to the main file"); // a folder stands where its file would
        QVERIFY(Test::readLog("network.log").startsWith("earlier run\n["));
        QVERIFY(Test::readLog("network.log").endsWith("] [error]  to\nnetwork.log\n"));
        QVERIFY(Test::readLog("vorlant.log").endsWith("] [error]  to the main file\n"));
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
        const QStringList lines = Test::readLog("threads.log").split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 600);
        const QRegularExpression shape(R"(^\[\d\d\.\d\d\.\d{4} \d\d:\d\d\] \[ info\]  (a{200}|b{200})$)");
        for (const QString& line : lines)
            QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
