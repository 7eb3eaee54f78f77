#include "log/Logger.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

using namespace Vorlant;

namespace {

QString readLog(const QString& fileName) {
    QFile file(QDir(Test::logDirectoryPath()).filePath(fileName));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromLocal8Bit(file.readAll());
}

const QRegularExpression
    kLinePattern(QStringLiteral(R"(^\[\d\d\.\d\d\.\d{4} \d\d:\d\d\] \[( info|error)\]  )"));

} // namespace

class TestLogger : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void formatLine_data();
    void formatLine();
    void categoriesShareOneLowerCaseFile_data();
    void categoriesShareOneLowerCaseFile();
    void appendsToExistingMainFile();
    void unopenableCategoryFallsBackToMainFile();
    void threadsNeverInterleaveLines();
};

void TestLogger::initTestCase() {
    Test::isolateEnvironment();
    QCoreApplication::setApplicationName(QStringLiteral("vorlant-service"));
    // A log left by an earlier run, before this process records anything.
    QDir().mkpath(Test::logDirectoryPath());
    QFile earlier(Test::logDirectoryPath() + QStringLiteral("/vorlant.log"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier run\n");
}

void TestLogger::formatLine_data() {
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    QTest::newRow("info") << "info"
                          << "started"
                          << "[06.03.2026 18:05] [ info]  started";
    QTest::newRow("error") << "error"
                           << "Unable to open file with stylesheet"
                           << "[06.03.2026 18:05] [error]  Unable to open file with stylesheet";
    QTest::newRow("placeholders stay literal") << "info"
                                               << "%1 and %2 %3"
                                               << "[06.03.2026 18:05] [ info]  %1 and %2 %3";
    QTest::newRow("multi-line") << "info"
                                << "a\nb {\n}"
                                << "[06.03.2026 18:05] [ info]  a\nb {\n}";
    QTest::newRow("empty") << "error"
                           << ""
                           << "[06.03.2026 18:05] [error]  ";
}

void TestLogger::formatLine() {
    QFETCH(QString, level);
    QFETCH(QString, message);
    QFETCH(QString, expected);
    const QDateTime when(QDate(2026, 3, 6), QTime(18, 5, 59));
    QCOMPARE(Logger::formatLine(when, level, message), expected);
}

void TestLogger::categoriesShareOneLowerCaseFile_data() {
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("file");
    QTest::newRow("empty") << ""
                           << "vorlant.log";
    QTest::newRow("null") << QString() << "vorlant.log";
    QTest::newRow("mixed case") << "Network"
                                << "network.log";
    QTest::newRow("upper case") << "NETWORK"
                                << "network.log";
    QTest::newRow("lower case") << "network"
                                << "network.log";
}

void TestLogger::categoriesShareOneLowerCaseFile() {
    QFETCH(QString, category);
    QFETCH(QString, file);
    const QString marker =
        QStringLiteral("entry for [%1] %2").arg(category, QTest::currentDataTag());
    Logger::info(category, marker);
    const QString content = readLog(file);
    QVERIFY2(content.contains(QStringLiteral("[ info]  ") + marker + QLatin1Char('\n')),
             qPrintable(content));
    QVERIFY(!QFile::exists(Test::logDirectoryPath() + QStringLiteral("/Network.log")));
}

void TestLogger::appendsToExistingMainFile() {
    Logger::error(QString(), QStringLiteral("after the earlier run"));
    const QString content = readLog(QStringLiteral("vorlant.log"));
    QVERIFY2(content.startsWith(QStringLiteral("earlier run\n")), qPrintable(content));
    QVERIFY(content.contains(QStringLiteral("[error]  after the earlier run\n")));
}

void TestLogger::unopenableCategoryFallsBackToMainFile() {
    // A folder where the category's file should be: the open fails.
    QDir().mkpath(Test::logDirectoryPath() + QStringLiteral("/blocked.log"));
    Logger::info(QStringLiteral("Blocked"), QStringLiteral("goes to the main file"));
    Logger::info(QStringLiteral("blocked"), QStringLiteral("and so does the next one"));
    const QString content = readLog(QStringLiteral("vorlant.log"));
    QVERIFY(content.contains(QStringLiteral("] [ info]  goes to the main file\n")));
    QVERIFY(content.contains(QStringLiteral("] [ info]  and so does the next one\n")));
}

void TestLogger::threadsNeverInterleaveLines() {
    constexpr int kLines = 300;
    const QString payload(200, QLatin1Char('x'));
    auto writer = [&](const QString& tag) {
        return QThread::create([=] {
            for (int i = 0; i < kLines; ++i)
                Logger::info(QStringLiteral("threads"), tag + payload);
        });
    };
    QScopedPointer<QThread> a(writer(QStringLiteral("A"))), b(writer(QStringLiteral("B")));
    a->start();
    b->start();
    QVERIFY(a->wait(60000));
    QVERIFY(b->wait(60000));

    const QStringList lines =
        readLog(QStringLiteral("threads.log")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2 * kLines);
    for (const QString& line : lines) {
        QVERIFY2(kLinePattern.match(line).hasMatch(), qPrintable(line));
        QVERIFY2(line.endsWith(QStringLiteral("A") + payload) ||
                     line.endsWith(QStringLiteral("B") + payload),
                 qPrintable(line));
    }
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
