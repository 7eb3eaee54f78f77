#include "support/TestEnvironment.h"

#include <QDir>
#include <QTemporaryDir>

namespace Vorlant::Test {

namespace {

QTemporaryDir& root() {
    static QTemporaryDir dir;
    return dir;
}

} // namespace

QString isolateEnvironment() {
    const QString base = root().path();
    const QList<QPair<const char*, QString>> variables = {{"HOME", "home"},
                                                          {"XDG_CONFIG_HOME", "config"},
                                                          {"XDG_DATA_HOME", "data"},
                                                          {"XDG_CACHE_HOME", "cache"},
                                                          {"XDG_RUNTIME_DIR", "runtime"}};
    for (const auto& [name, folder] : variables) {
        QDir(base).mkpath(folder);
        qputenv(name, QFile::encodeName(base + QLatin1Char('/') + folder));
    }
    QDir(base).mkpath(QStringLiteral("system"));
    QFile::setPermissions(base + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       base + QStringLiteral("/system"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       base + QStringLiteral("/config"));
    return base;
}

void clearStore() {
    QSettings store = rawStore();
    store.clear();
    store.sync();
}

QSettings rawStore() {
    return QSettings(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Vorlant"),
                     QString());
}

QVariantMap storeSnapshot() {
    QSettings store = rawStore();
    QVariantMap snapshot;
    for (const QString& key : store.allKeys())
        snapshot.insert(key, store.value(key));
    return snapshot;
}

QString storeFilePath() {
    return rawStore().fileName();
}

QString logDirectoryPath() {
    return root().path() + QStringLiteral("/data/vorlant-service/log");
}

} // namespace Vorlant::Test
