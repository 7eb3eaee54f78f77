#include "log/Logger.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace Vorlant;

// The log folder cannot be created: entries must neither fail nor be written anywhere else,
// and once the folder can be made the log picks up again.
class TestLoggerWithoutFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        const QString root = Test::isolateEnvironment();
        QCoreApplication::setApplicationName(QStringLiteral("vorlant-service"));
        m_blocker = root + QStringLiteral("/blocked-data");
        QFile file(m_blocker);
        QVERIFY(file.open(QIODevice::WriteOnly)); // a file where the data folder should be
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_blocker));
    }

    void survivesAndRecovers() {
        Logger::info(QString(), QStringLiteral("nowhere to go"));
        Logger::error(QStringLiteral("Net"), QStringLiteral("nowhere either"));
        QVERIFY(QFileInfo(m_blocker).isFile());

        QVERIFY(QFile::remove(m_blocker));
        Logger::info(QString(), QStringLiteral("back again"));
        QFile log(m_blocker + QStringLiteral("/vorlant-service/log/vorlant.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray content = log.readAll();
        QVERIFY2(content.endsWith("[ info]  back again\n"), content.constData());
        QVERIFY(!content.contains("nowhere"));
    }

private:
    QString m_blocker;
};

QTEST_GUILESS_MAIN(TestLoggerWithoutFile)
#include "tst_loggerwithoutfile.moc"
