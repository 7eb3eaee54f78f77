#include "support/TestEnvironment.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtGlobal>

namespace Vorlant::Test {

namespace {

QTemporaryDir& root() {
    static QTemporaryDir dir;
    return dir;
}

QSettings sharedStore() {
    return QSettings(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Vorlant"),
                     QString());
}

} // namespace

QString isolateEnvironment() {
    const QString base = root().path();
    for (const char* sub : {"home", "config", "data", "cache", "system", "runtime"})
        QDir(base).mkpath(QString::fromLatin1(sub));
    qputenv("HOME", QFile::encodeName(base + QStringLiteral("/home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(base + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(base + QStringLiteral("/data")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(base + QStringLiteral("/cache")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base + QStringLiteral("/runtime")));
    QFile::setPermissions(base + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       base + QStringLiteral("/system"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       base + QStringLiteral("/config"));
    return base;
}

void clearStore() {
    QSettings store = sharedStore();
    store.clear();
    store.sync();
}

QString storeFilePath() {
    return sharedStore().fileName();
}

QString logDirectoryPath() {
    return root().path() + QStringLiteral("/data/vorlant-service/log");
}

} // namespace Vorlant::Test
