#include "support/TestEnvironment.h"

#include "settings/Settings.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace Vorlant::Test {

namespace {

QString root() {
    static QTemporaryDir dir;
    return dir.path();
}

} // namespace

QString isolateEnvironment() {
    QDir().mkpath(root() + "/system");
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        QDir().mkpath(root() + '/' + name);
        qputenv(name, QFile::encodeName(root() + '/' + name));
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, root() + "/system");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root() + "/XDG_CONFIG_HOME");
    return root();
}

QSettings rawStore() {
    return QSettings(QSettings::NativeFormat, QSettings::SystemScope,
                     QLatin1String(kStoreOrganisation), QLatin1String(kStoreApplication));
}

QVariantMap storeSnapshot() {
    QSettings store = rawStore();
    QVariantMap snapshot;
    for (const QString& key : store.allKeys())
        snapshot.insert(key, store.value(key));
    return snapshot;
}

void clearStore() {
    QSettings store = rawStore();
    store.clear();
    store.sync();
}

void loadStore(const QByteArray& contents) {
    rawStore().sync(); // nothing pending may be written over the new contents later
    writeFile(rawStore().fileName(), contents);
    // Qt reads a store file again only when its size or modification time changed: each load
    // gets a time of its own, far from any time Qt writes.
    static qint64 loads = 0;
    QFile file(rawStore().fileName());
    file.open(QIODevice::Append);
    file.setFileTime(QDateTime::fromSecsSinceEpoch(++loads), QFileDevice::FileModificationTime);
    file.close();
    rawStore().sync();
}

QString logDirectoryPath() {
    return root() + "/XDG_DATA_HOME/vorlant-service/log";
}

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

} // namespace Vorlant::Test
