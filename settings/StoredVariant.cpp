#include "settings/StoredVariant.h"

#include <QTimeZone>
#include <QtEndian>

namespace Vorlant {

namespace {

// Settings nest a few levels at most (a map of maps); this is far below what overflows a stack.
constexpr int kMaxDepth = 64;
constexpr quint32 kNullLength = 0xffffffff;

// Qt's numbers of the types that its stream format writes (QMetaType::Type).
enum Type : quint32 {
    Bool = 1, Int, UInt, LongLong, ULongLong, Double, Char16, Map, List, String, StringList,
    ByteArray, BitArray, Date, Time, DateTime, Url, Locale, Rect, RectF, Size, SizeF, Line, LineF,
    Point, PointF, RegExp, Hash, Uuid = 30, Long = 32, Short, Char, ULong, UShort, UChar, Float,
    SChar = 40, Variant, RegularExpression = 44, ByteArrayList = 49, Nullptr = 51, CborSimple
};

class Reader {
public:
    Reader(const QByteArray& bytes, QDataStream::Version version)
        : m_at(bytes.constData()), m_end(bytes.constData() + bytes.size()), m_version(version) {}

    bool variant(int depth) {
        quint32 type = 0;
        if (depth > kMaxDepth || !number(type))
            return false;
        if (m_version < QDataStream::Qt_5_0) {
            // Streams of the Qt 4 era number the types apart from Qt 5; 127 and 64 to 86 are
            // types registered by name and GUI types.
            if (type == 127 || (type >= 64 && type < 128))
                return false;
            if (type >= 128)
                type -= 97;
        }
        if (m_version >= QDataStream::Qt_4_2 && !skip(1)) // the null flag
            return false;
        if (type == 0) // an invalid value; older streams follow it with an empty string
            return m_version >= QDataStream::Qt_5_0 || string();
        return payload(type, depth);
    }

private:
    bool payload(quint32 type, int depth) {
        switch (type) {
        case Bool: case Char: case UChar: case SChar: case CborSimple:
            return skip(1);
        case Char16: case Short: case UShort:
            return skip(2);
        case Int: case UInt: case Time:
            return skip(4);
        case LongLong: case ULongLong: case Long: case ULong: case Double:
        case Size: case Point:
            return skip(8);
        case Float:
            return skip(m_version >= QDataStream::Qt_4_6 ? 8 : 4);
        case Date:
            return skip(dateSize());
        case DateTime:
            return dateTime();
        case Rect: case Line: case SizeF: case PointF: case Uuid:
            return skip(16);
        case RectF: case LineF:
            return skip(32);
        case Nullptr:
            return true;
        case String: case Locale:
            return string();
        case ByteArray: case Url:
            return bytes();
        case BitArray:
            return bitArray();
        case RegExp:
            return string() && skip(3);
        case RegularExpression:
            return string() && skip(4);
        case StringList:
            return repeated([this] { return string(); });
        case ByteArrayList:
            return repeated([this] { return bytes(); });
        case List:
            return repeated([this, depth] { return variant(depth + 1); });
        case Map: case Hash:
            return repeated([this, depth] { return string() && variant(depth + 1); });
        case Variant:
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
        const qint8 spec = qint8(*m_at++);
        if (m_version < QDataStream::Qt_5_2)
            return true;
        switch (spec) {
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

    bool bytes() {
        quint32 length = 0;
        return number(length) && (length == kNullLength || skip(length));
    }

    // UTF-16 text: a length in bytes, which must be even.
    bool string(QByteArray* text = nullptr) {
        quint32 length = 0;
        if (!number(length))
            return false;
        if (length == kNullLength)
            return true;
        if (length % 2 != 0 || length > left())
            return false;
        if (text)
            *text = QByteArray(m_at, int(length));
        return skip(length);
    }

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
