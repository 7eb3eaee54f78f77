#include "log/Logger.h"
#include "support/TestEnvironment.h"

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

    void categoriesGetFilesOfTheirOwn() {
        QDir().mkpath(Test::logDirectoryPath() + "/blocked.log");
        Test::writeFile(Test::logDirectoryPath() + "/network.log", "earlier run\n");
        Logger::error("Network", "to\r\nnetwork.log"); // one line break, as the platform writes it
        Logger::error("Blocked", "to the main file"); // a folder stands where its file would
        QVERIFY(Test::readLog("network.log").startsWith("earlier run\n["));
        QVERIFY(Test::readLog("network.log").endsWith("] [error]  to\nnetwork.log\n"));
        QVERIFY(Test::readLog("vorlant.log").endsWith("] [error]  to the main file\n"));
    }

};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
