#include "FuzzSupport.h"

#include "support/TestEnvironment.h"

#include <QApplication>
#include <QBuffer>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <cstdio>

namespace Vorlant::Fuzz {

namespace {

QString& scratchDir() {
    static QString dir;
    return dir;
}

// Each scratch file gets a name of its own: QSettings keeps files it has read in a cache
// that trusts size and modification time, which two quick writes can share.
QString scratchFile() {
    static quint64 count = 0;
    return QStringLiteral("%1/%2.conf").arg(scratchDir()).arg(++count);
}

// Arbitrary stores make Qt warn on every input; printing that would drown the fuzzer's output.
// Fatal messages still abort after this returns.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg)
        std::fprintf(stderr, "Qt fatal: %s\n", qPrintable(message));
}

QByteArray serialized(const QVariant& value) {
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << value;
    return bytes;
}

QString writeScratch(const QByteArray& contents) {
    const QString path = scratchFile();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        violated("scratch file writable", path);
    file.write(contents);
    return path;
}

} // namespace

void startApplication(const char* argv0) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    scratchDir() = Test::isolateEnvironment() + QStringLiteral("/scratch");
    QDir().mkpath(scratchDir());
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(argv0), nullptr};
    // Alive until the process ends: destroyed during exit(), it leaves Qt's font cache
    // unreachable but unfreed, and the leak check that runs after it would report that.
    static QApplication* app = new QApplication(argc, argv);
    Q_UNUSED(app);
}

void violated(const char* invariant, const QString& detail) {
    std::fprintf(stderr, "\n==== invariant violated: %s\n%s\n", invariant, qPrintable(detail));
    std::fflush(stderr);
    __builtin_trap();
}

void loadStore(const QByteArray& contents) {
    // QSettings reads a file again only when its size or modification time changed, and two
    // inputs of one size written within a millisecond would look alike. Each gets a time of its
    // own, far from any time QSettings itself writes.
    static int loads = 0;
    const QDateTime time = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).addSecs(++loads);
    Test::rawStore().sync(); // nothing pending may be written over the new contents later
    QFile file(Test::rawStore().fileName());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) < 0 ||
        !file.flush() || !file.setFileTime(time, QFileDevice::FileModificationTime))
        violated("store file writable", file.fileName());
    file.close();
    Test::rawStore().sync();
}

QByteArray storeFile() {
    Test::rawStore().sync();
    return Test::readFile(Test::rawStore().fileName());
}

StoreMap parseStore(const QByteArray& contents) {
    const QString path = writeScratch(contents);
    StoreMap keys;
    {
        QSettings store(path, QSettings::IniFormat);
        // Qt lists the keys of malformed lines under names that a lookup does not use ("a//b"
        // is read as "a/b") or cannot use (an empty name). What a lookup reaches is the store.
        for (const QString& key : store.allKeys()) {
            const QString reached = key.split(u'/', Qt::SkipEmptyParts).join(u'/');
            if (!reached.isEmpty() && store.contains(reached))
                keys.insert(reached, store.value(reached));
        }
    }
    QFile::remove(path);
    return keys;
}

QByteArray writeStore(const StoreMap& keys) {
    const QString path = scratchFile();
    {
        QSettings store(path, QSettings::IniFormat);
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            store.setValue(it.key(), it.value());
    }
    QFile file(path);
    const QByteArray contents = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.remove();
    return contents;
}

QByteArray rewrittenByQt(const QByteArray& contents) {
    const QString path = writeScratch(contents);
    {
        // One object throughout: its second write comes from memory, like the program's
        // writes after its first, without parsing the file again.
        QSettings store(path, QSettings::IniFormat);
        const QString marker = QStringLiteral("fuzz-rewrite-marker");
        store.setValue(marker, true);
        store.sync();
        store.remove(marker);
        store.sync();
    }
    QFile file(path);
    const QByteArray rewritten = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.remove();
    return rewritten;
}

StoreMap surfacedByQt(const QByteArray& contents) {
    const StoreMap reached = parseStore(contents);
    const QString path = writeScratch(contents);
    {
        QSettings store(path, QSettings::IniFormat);
        store.allKeys(); // parses every section first, as the upgrade's first listing does
        for (auto it = reached.cbegin(); it != reached.cend(); ++it)
            store.remove(it.key());
    }
    QFile file(path);
    const QByteArray rest = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.remove();
    return parseStore(rest);
}

QStringList listedGroups(const QByteArray& contents, const QString& group) {
    const QString path = writeScratch(contents);
    QStringList groups;
    {
        QSettings store(path, QSettings::IniFormat);
        // Qt parses sections as lookups need them, and a malformed section can hide inside
        // "miners" until all are parsed. The upgrade lists the top level first, parsing all.
        store.allKeys();
        store.beginGroup(group);
        groups = store.childGroups();
    }
    QFile::remove(path);
    return groups;
}

StoreMap roundTrip(const StoreMap& keys) {
    return parseStore(writeStore(keys));
}

StoreMap withChanges(StoreMap base, const StoreMap& from, const StoreMap& to) {
    for (auto it = from.cbegin(); it != from.cend(); ++it) {
        if (!to.contains(it.key()))
            base.remove(it.key());
    }
    for (auto it = to.cbegin(); it != to.cend(); ++it) {
        if (!from.contains(it.key()) || !sameValue(from.value(it.key()), it.value()))
            base.insert(it.key(), it.value());
    }
    return base;
}

bool sameValue(const QVariant& a, const QVariant& b) {
    if (a.userType() != b.userType() || a.isValid() != b.isValid())
        return false;
    // Byte-wise, so NaN equals itself and types without operator== compare too.
    return serialized(a) == serialized(b);
}

QString describe(const QVariant& value) {
    if (!value.isValid())
        return QStringLiteral("<invalid>");
    const QString text = value.toString();
    return QStringLiteral("%1(%2) [%3]")
        .arg(QString::fromLatin1(value.typeName()), text,
             QString::fromLatin1(serialized(value).toHex()));
}

QString dump(const StoreMap& keys) {
    QString lines;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        lines += QStringLiteral("%1 = %2\n").arg(it.key(), describe(it.value()));
    return lines;
}

QString differences(const StoreMap& expected, const StoreMap& actual) {
    QString lines;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!actual.contains(it.key()))
            lines += QStringLiteral("missing %1 = %2\n").arg(it.key(), describe(it.value()));
        else if (!sameValue(it.value(), actual.value(it.key())))
            lines += QStringLiteral("changed %1: expected %2, found %3\n")
                         .arg(it.key(), describe(it.value()), describe(actual.value(it.key())));
    }
    for (auto it = actual.cbegin(); it != actual.cend(); ++it) {
        if (!expected.contains(it.key()))
            lines += QStringLiteral("extra %1 = %2\n").arg(it.key(), describe(it.value()));
    }
    return lines;
}

QStringList childGroups(const StoreMap& keys, const QString& prefix) {
    QStringList groups;
    for (auto it = keys.lowerBound(prefix); it != keys.cend() && it.key().startsWith(prefix);
         ++it) {
        const int slash = it.key().indexOf(u'/', prefix.size());
        if (slash >= 0)
            groups << it.key().mid(prefix.size(), slash - prefix.size());
    }
    groups.sort();
    groups.removeDuplicates();
    return groups;
}

QStringList childKeys(const StoreMap& keys, const QString& prefix) {
    QStringList names;
    for (auto it = keys.lowerBound(prefix); it != keys.cend() && it.key().startsWith(prefix);
         ++it) {
        if (it.key().indexOf(u'/', prefix.size()) < 0)
            names << it.key().mid(prefix.size());
    }
    return names;
}

void removeTree(StoreMap& keys, const QString& key) {
    keys.remove(key);
    const QString below = key + u'/';
    for (auto it = keys.lowerBound(below); it != keys.end() && it.key().startsWith(below);)
        it = keys.erase(it);
}

bool namesOwnEntry(const QString& name) {
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control)
            return false;
    }
    return !name.isEmpty();
}

} // namespace Vorlant::Fuzz
