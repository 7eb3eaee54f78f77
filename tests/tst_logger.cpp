#include "log/Logger.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

using namespace Vorlant;

namespace {

QString readLog(const QString& fileName) {
    QFile file(Test::logDirectoryPath() + QLatin1Char('/') + fileName);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

} // namespace

class TestLogger : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void formatLine_data();
    void formatLine();
    void files_data();
    void files();
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
    // A folder where a category's file should be: opening it fails.
    QDir().mkpath(Test::logDirectoryPath() + QStringLiteral("/blocked.log"));
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

void TestLogger::files_data() {
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("file");
    QTest::newRow("none, appended to an earlier run") << QString() << "vorlant.log";
    QTest::newRow("empty") << ""
                           << "vorlant.log";
    QTest::newRow("mixed case") << "Network"
                                << "network.log";
    QTest::newRow("lower case") << "network"
                                << "network.log";
    QTest::newRow("unopenable goes to the main file") << "Blocked"
                                                      << "vorlant.log";
    QTest::newRow("and so does the next entry") << "blocked"
                                                << "vorlant.log";
}

void TestLogger::files() {
    QFETCH(QString, category);
    QFETCH(QString, file);
    const QString marker = QStringLiteral("entry [%1] %2").arg(category, QTest::currentDataTag());
    Logger::error(category, marker);
    const QString content = readLog(file);
    QVERIFY2(content.contains(QStringLiteral("] [error]  ") + marker + QLatin1Char('\n')),
             qPrintable(content));
    QVERIFY(content.startsWith(QStringLiteral("earlier run\n")) || file != "vorlant.log");
    QVERIFY(!QFile::exists(Test::logDirectoryPath() + QStringLiteral("/Network.log")));
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
    const QRegularExpression shape(
        QStringLiteral(R"(^\[\d\d\.\d\d\.\d{4} \d\d:\d\d\] \[ info\]  [AB]x{200}$)"));
    for (const QString& line : lines)
        QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
