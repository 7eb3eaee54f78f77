#include "log/Logger.h"
#include "support/TestEnvironment.h"

#include <QtTest>

using namespace Vorlant;

namespace {

QString logFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/vorlant-service/log";
}

// A log file, with "\n" for the platform's line break: on Windows a bare "\n" stays visible.
QString readLog(const QString& fileName) {
    QByteArray bytes = Test::readFile(logFolder() + '/' + fileName);
#ifdef Q_OS_WIN
    bytes.replace("\r\n", "\x01").replace("\n", "<LF>").replace('\x01', '\n');
#endif
    return QString::fromUtf8(bytes);
}

} // namespace

class TestLogger : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        Test::isolateEnvironment();
        QCoreApplication::setApplicationName("vorlant-service");
    }

    // While the log folder cannot be made, entries neither fail nor go anywhere else; once it
    // can, the log picks up again.
    void survivesAndRecovers() {
        const QString appData = QFileInfo(logFolder()).path();
        Test::writeFile(appData, "a file where the program's data folder should be");
        Logger::info(QString(), "nowhere to go");
        Logger::error("Net", "nowhere either");
        QVERIFY(QFileInfo(appData).isFile() && QFile::remove(appData));
        Logger::info(QString(), "back again");
        const QRegularExpression onlyEntry("^\\[[^\n]+\\] \\[ info\\]  back again\n$");
        QVERIFY(onlyEntry.match(readLog("vorlant.log")).hasMatch());
    }

    void categoriesGetFilesOfTheirOwn() {
        QDir().mkpath(logFolder() + "/blocked.log");
        Test::writeFile(logFolder() + "/network.log", "earlier run\n");
        Logger::error("Network", "to\r\nnetwork.log"); // one line break, as the platform writes it
        Logger::error("Blocked", "to the main file"); // a folder stands where its file would
        QVERIFY(readLog("network.log").startsWith("earlier run\n["));
        QVERIFY(readLog("network.log").endsWith("] [error]  to\nnetwork.log\n"));
        QVERIFY(readLog("vorlant.log").endsWith("] [error]  to the main file\n"));
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
