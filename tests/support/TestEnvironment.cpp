#include "support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace Vorlant::Test {

namespace {

QString root() {
    static QTemporaryDir dir;
    return dir.path();
}

} // namespace

#ifdef Q_OS_WIN
// The store is the registry node itself, so only a throwaway Wine prefix (scripts/wine-run.sh
// marks it) isolates it; on any other Windows the tests would wipe the real store.
QString isolateEnvironment() {
    if (!qEnvironmentVariableIsSet("VORLANT_THROWAWAY_REGISTRY"))
        qFatal("Not in a throwaway Wine prefix: refusing to touch this machine's registry");
    QDir(QFileInfo(logDirectoryPath()).absolutePath()).removeRecursively();
    clearStore();
    return root();
}

QString logDirectoryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/vorlant-service/log");
}
#else
QString isolateEnvironment() {
    for (const char* name :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        QDir().mkpath(root() + QLatin1Char('/') + QLatin1String(name));
        qputenv(name, QFile::encodeName(root() + QLatin1Char('/') + QLatin1String(name)));
    }
    QFile::setPermissions(root() + QStringLiteral("/XDG_RUNTIME_DIR"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(root() + QStringLiteral("/system"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       root() + QStringLiteral("/system"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       root() + QStringLiteral("/XDG_CONFIG_HOME"));
    return root();
}

QString logDirectoryPath() {
    return root() + QStringLiteral("/XDG_DATA_HOME/vorlant-service/log");
}
#endif

void clearStore() {
    // Not clear(): on Windows that deletes the registry key itself once this handle closes,
    // and the store's own open handle would then write into a deleted key.
    QSettings store = rawStore();
    for (const QString& key : store.childKeys() + store.childGroups())
        store.remove(key);
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
