#include "log/Logger.h"
#include "support/TestEnvironment.h"

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
    // can, the log picks up again.
    void survivesAndRecovers() {
        Logger::info(QString(), "nowhere to go");
        Logger::error("Net", "nowhere either");
        QVERIFY(QFileInfo(m_dataHome).isFile());
        QVERIFY(QFile::remove(m_dataHome));
        Logger::info(QString(), "back again");
        QVERIFY(log("vorlant.log").startsWith('['));
        QVERIFY(log("vorlant.log").endsWith("] [ info]  back again\n"));
        QCOMPARE(log("vorlant.log").count('\n'), 1);
    }

    void categoriesGetFilesOfTheirOwn() {
        QDir().mkpath(m_dataHome + "/vorlant-service/log/blocked.log");
        Test::writeFile(m_dataHome + "/vorlant-service/log/network.log", "earlier run\n");
        Logger::error("Network", "to network.log");
        Logger::error("Blocked", "to the main file"); // a folder stands where its file would
        QVERIFY(log("network.log").startsWith("earlier run\n["));
        QVERIFY(log("network.log").endsWith("] [error]  to network.log\n"));
        QVERIFY(log("vorlant.log").endsWith("] [error]  to the main file\n"));
    }

};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
