#include "log/Logger.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

using namespace Vorlant;

class TestLogger : public QObject {
    Q_OBJECT

    QString m_dataHome;
    QString log(const QString& file) const {
        return QString::fromUtf8(Test::readFile(m_dataHome + "/vorlant-service/log/" + file));
    }

private slots:
    void initTestCase() {
        m_dataHome = Test::isolateEnvironment() + "/blocked-data";
        QCoreApplication::setApplicationName("vorlant-service");
        Test::writeFile(m_dataHome, "a file where the data folder should be");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dataHome));
    }

    // While the log folder cannot be made, entries neither fail nor go anywhere else; once it
    // can, the log picks up again, after what an earlier run left.
    void survivesAndRecovers() {
        Logger::info(QString(), "nowhere to go");
        Logger::error("Net", "nowhere either");
        QVERIFY(QFileInfo(m_dataHome).isFile());
        QVERIFY(QFile::remove(m_dataHome));
        Test::writeFile(m_dataHome + "/vorlant-service/log/vorlant.log", "earlier run\n");
        Logger::info(QString(), "back again");
        QVERIFY(log("vorlant.log").startsWith("earlier run\n["));
        QVERIFY(log("vorlant.log").endsWith("] [ info]  back again\n"));
        QCOMPARE(log("vorlant.log").count('\n'), 2);
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
        QDir().mkpath(m_dataHome + "/vorlant-service/log/blocked.log");
        Logger::error("Network", "to network.log");
        Logger::error("Blocked", "to the main file"); // a folder stands where its file would
        QVERIFY(log("network.log").endsWith("] [error]  to network.log\n"));
        QVERIFY(log("vorlant.log").endsWith("] [error]  to the main file\n"));
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
        const QRegularExpression shape(R"(^\[\d\d\.\d\d\.\d{4} \d\d:\d\d\] \[ info\]  (a{200}|b{200})$)");
        for (const QString& line : lines)
            QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
