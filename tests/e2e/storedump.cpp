// Prints a store file as one JSON object (key path -> value), so tests written outside C++ see
// the values exactly as Qt reads them back, serialised variants included.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <cstdio>

namespace {

QJsonValue toJson(const QVariant& value) {
    switch (value.userType()) {
    case QMetaType::UnknownType:
        return QJsonValue(QJsonValue::Null);
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QStringList:
        return QJsonArray::fromStringList(value.toStringList());
    case QMetaType::QUrl:
        // Tagged, so a test can tell a URL value from the same text stored as a string.
        return QJsonObject{{QStringLiteral("url"), value.toUrl().toString()}};
    case QMetaType::QVariantMap: {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            object.insert(it.key(), toJson(it.value()));
        return object;
    }
    default:
        return QJsonObject{{QStringLiteral("type"), QString::fromLatin1(value.typeName())},
                           {QStringLiteral("value"), value.toString()}};
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s STORE_FILE\n", argv[0]);
        return 2;
    }
    QSettings store(QString::fromLocal8Bit(argv[1]), QSettings::IniFormat);
    QJsonObject result;
    for (const QString& key : store.allKeys())
        result.insert(key, toJson(store.value(key)));
    if (store.status() != QSettings::NoError) {
        std::fprintf(stderr, "unreadable store: %s\n", argv[1]);
        return 1;
    }
    std::fputs(QJsonDocument(result).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    return 0;
}
