#include "settings/StoredVariant.h"

#include <QMetaType>
#include <QTimeZone>
#include <QtEndian>

namespace Vorlant {

namespace {

// Settings nest a few levels at most (a map of maps); this is far below what overflows a stack.
constexpr int kMaxDepth = 64;
constexpr quint32 kNullLength = 0xffffffff;

class Reader {
public:
    Reader(const QByteArray& bytes, QDataStream::Version version)
        : m_at(bytes.constData())
        , m_end(bytes.constData() + bytes.size())
        , m_version(version) {}

    bool variant(int depth) {
        quint32 type = 0;
        if (depth > kMaxDepth || !number(type))
            return false;
        if (m_version < QDataStream::Qt_5_0) {
            // Streams of the Qt 4 era number the types apart from Qt 5: 64 to 86 are GUI types,
            // 127 one named after it, and the core types from 31 on come 97 higher.
            if (type == 127)
                type = QMetaType::User;
            else if (type >= 128)
                type -= 97;
            else if (type >= 64)
                return false;
        }
        if (m_version >= QDataStream::Qt_4_2 && !skip(1)) // the null flag
            return false;
        QByteArray name;
        if (type == QMetaType::User) { // as Qt writes a type of Qt 5 into a stream of Qt 4
            if (!bytes(&name))
                return false;
            type = quint32(QMetaType::type(name.constData()));
            if (type == QMetaType::UnknownType)
                return false;
        }
        if (type == 0) // an invalid value; older streams follow it with an empty string
            return m_version >= QDataStream::Qt_5_0 || string();
        return payload(type, depth);
    }

private:
    bool payload(quint32 type, int depth) {
        switch (type) {
        case QMetaType::Bool:
        case QMetaType::Char:
        case QMetaType::UChar:
        case QMetaType::SChar:
        case QMetaType::QCborSimpleType:
            return skip(1);
        case QMetaType::QChar:
        case QMetaType::Short:
        case QMetaType::UShort:
            return skip(2);
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::QTime:
            return skip(4);
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::Double:
        case QMetaType::QSize:
        case QMetaType::QPoint:
            return skip(8);
        case QMetaType::Float:
            return skip(m_version >= QDataStream::Qt_4_6 ? 8 : 4);
        case QMetaType::QDate:
            return skip(dateSize());
        case QMetaType::QDateTime:
            return dateTime();
        case QMetaType::QRect:
        case QMetaType::QLine:
        case QMetaType::QSizeF:
        case QMetaType::QPointF:
        case QMetaType::QUuid:
            return skip(16);
        case QMetaType::QRectF:
        case QMetaType::QLineF:
            return skip(32);
        case QMetaType::Nullptr:
            return true;
        case QMetaType::QString:
        case QMetaType::QLocale:
            return string();
        case QMetaType::QByteArray:
        case QMetaType::QUrl:
            return bytes();
        case QMetaType::QBitArray:
            return bitArray();
        case QMetaType::QRegExp:
            return string() && skip(3);
        case QMetaType::QRegularExpression:
            return string() && skip(4);
        case QMetaType::QStringList:
            return repeated([this] { return string(); });
        case QMetaType::QByteArrayList:
            return repeated([this] { return bytes(); });
        case QMetaType::QVariantList:
            return repeated([this, depth] { return variant(depth + 1); });
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash:
            return repeated([this, depth] { return string() && variant(depth + 1); });
        case QMetaType::QVariant:
            return variant(depth + 1);
        default:
            return false;
        }
    }

    // Every item takes bytes, so a count that the bytes cannot hold fails within them; Qt, which
    // reserves room for the count first, reads only what was found here.
    template <typename ReadItem> bool repeated(ReadItem readItem) {
        quint32 count = 0;
        if (!number(count))
            return false;
        for (quint32 i = 0; i < count; ++i) {
            if (!readItem())
                return false;
        }
        return true;
    }

    qint64 dateSize() const { return m_version < QDataStream::Qt_5_0 ? 4 : 8; }

    bool dateTime() {
        if (!skip(dateSize() + 4) || left() < 1)
            return false;
        const qint8 kind = qint8(*m_at++);
        if (m_version < QDataStream::Qt_5_2)
            return true;
        switch (kind) {
        case Qt::LocalTime:
        case Qt::UTC:
            return true;
        case Qt::OffsetFromUTC:
            return skip(4);
        case Qt::TimeZone:
            return timeZone();
        default: // Qt reads others as a time in no zone, which crashes it when written back
            return false;
        }
    }

    // A time zone Qt does not know crashes it when the time is written back, too.
    bool timeZone() {
        QByteArray bytes;
        if (!string(&bytes))
            return false;
        QString id;
        for (int i = 0; i + 1 < bytes.size(); i += 2)
            id += QChar(ushort(uchar(bytes[i]) << 8 | uchar(bytes[i + 1])));
        if (id != QLatin1String("OffsetFromUtc"))
            return QTimeZone(id.toUtf8()).isValid();
        // A fixed offset, with its name, abbreviation, country and comment.
        quint32 offset = 0;
        return number(offset) && qAbs(qint32(offset)) <= 14 * 3600 && string() && string() &&
               skip(4) && string();
    }

    bool bitArray() {
        quint32 bits = 0;
        return number(bits) && skip((qint64(bits) + 7) / 8);
    }

    // A length in bytes, a multiple of `unit`, then as many bytes.
    bool bytes(QByteArray* data = nullptr, quint32 unit = 1) {
        quint32 length = 0;
        if (!number(length))
            return false;
        if (length == kNullLength)
            return true;
        if (length % unit != 0 || length > left())
            return false;
        if (data)
            *data = QByteArray(m_at, int(length));
        return skip(length);
    }

    // UTF-16 text: a length in bytes, which must be even.
    bool string(QByteArray* text = nullptr) { return bytes(text, 2); }

    bool number(quint32& value) {
        if (left() < 4)
            return false;
        value = qFromBigEndian<quint32>(m_at);
        m_at += 4;
        return true;
    }

    bool skip(qint64 size) {
        if (size > left())
            return false;
        m_at += size;
        return true;
    }

    qint64 left() const { return m_end - m_at; }

    const char* m_at;
    const char* m_end;
    QDataStream::Version m_version;
};

} // namespace

bool isDecodableVariant(const QByteArray& bytes, QDataStream::Version version) {
    return Reader(bytes, version).variant(0);
}

} // namespace Vorlant
