#include "support/Fixtures.h"

#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

namespace Vorlant::Test {

namespace {

QString fixturePath(const QString& name) {
    return QStringLiteral(VORLANT_TEST_DATA "/stores/%1.conf").arg(name);
}

QStringList linesOf(const QString& path) {
    QSettings store(path, QSettings::IniFormat);
    QStringList lines;
    for (const QString& key : store.allKeys())
        lines << key + QLatin1Char('=') + store.value(key).toString();
    lines.sort();
    return lines;
}

} // namespace

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
}

bool loadStoreFixture(const QString& name) {
    const QByteArray fixture = readFile(fixturePath(name));
    rawStore().sync(); // nothing pending may be written over the fixture later
    QFile target(rawStore().fileName());
    if (fixture.isNull() || !target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    target.write(fixture);
    target.flush();
    // QSettings re-reads a file only when its size or time changed; two fixtures of one size
    // copied within a millisecond would look alike, so each copy gets a time of its own.
    static int copies = 0;
    target.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).addSecs(++copies),
                       QFileDevice::FileModificationTime);
    target.close();
    rawStore().sync();
    return true;
}

QByteArray syncedStoreBytes() {
    rawStore().sync();
    return readFile(rawStore().fileName());
}

QStringList storeLines() {
    // Read from a copy, which shares no cache with the store: only what reached the disk counts.
    QTemporaryDir dir;
    QFile copy(dir.filePath(QStringLiteral("copy.conf")));
    if (!copy.open(QIODevice::WriteOnly))
        return {};
    copy.write(syncedStoreBytes());
    copy.close();
    return linesOf(copy.fileName());
}

QStringList fixtureLines(const QString& name) {
    return linesOf(fixturePath(name));
}

QByteArray autostartFileWithExec(const QString& exec) {
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=Someone's entry\nExec=%1\n")
        .arg(exec)
        .toUtf8();
}

} // namespace Vorlant::Test
