#include "support/Fixtures.h"

#include "settings/AutostartDesktopEntry.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace Vorlant::Test {

namespace {

QSettings sharedStore() {
    return QSettings(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Vorlant"),
                     QString());
}

QString fixturePath(const QString& name) {
    return QStringLiteral(VORLANT_TEST_DATA "/stores/%1.conf").arg(name);
}

// QSettings re-reads a file only when its size or modification time has changed, and two
// fixtures of one size copied within a millisecond would look alike. Each copy gets a time of
// its own, far from any time QSettings itself writes.
QDateTime freshFixtureTime() {
    static int copies = 0;
    return QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).addSecs(++copies);
}

QStringList linesOf(QSettings& store) {
    QStringList lines;
    for (const QString& key : store.allKeys())
        lines << key + QLatin1Char('=') + store.value(key).toString();
    lines.sort();
    return lines;
}

} // namespace

bool loadStoreFixture(const QString& name) {
    QFile source(fixturePath(name));
    if (!source.open(QIODevice::ReadOnly))
        return false;
    sharedStore().sync(); // nothing pending may be written over the fixture later
    QFile target(storeFilePath());
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    target.write(source.readAll());
    target.flush();
    target.setFileTime(freshFixtureTime(), QFileDevice::FileModificationTime);
    target.close();
    sharedStore().sync();
    return true;
}

QByteArray syncedStoreBytes() {
    sharedStore().sync();
    QFile file(storeFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList storeLines() {
    QSettings store = sharedStore();
    return linesOf(store);
}

QStringList fixtureLines(const QString& name) {
    QSettings fixture(fixturePath(name), QSettings::IniFormat);
    return linesOf(fixture);
}

QByteArray autostartFileContents() {
    QFile file(autostartDesktopFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAutostartFile(const QByteArray& contents) {
    const QString path = autostartDesktopFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
}

void removeAutostartFile() {
    QFile::remove(autostartDesktopFilePath());
}

QByteArray autostartFileWithExec(const QString& exec) {
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=Someone's entry\nExec=%1\n")
        .arg(exec)
        .toUtf8();
}

} // namespace Vorlant::Test
