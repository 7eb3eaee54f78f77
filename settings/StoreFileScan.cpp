#include "settings/StoreFileScan.h"

#include "settings/StoredVariant.h"

#include <QStringList>

#include <algorithm>

namespace Vorlant {

namespace {

// One logical line of the file, as Qt's reader cuts it: quotes and backslashes carry it over
// line breaks, and a ';' outside quotes starts a comment.
struct Line {
    int start = 0;
    int end = 0;
    int equals = -1;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void skipComment(const QByteArray& data, int& i) {
    while (i < data.size() && data[i] != '\n' && data[i] != '\r')
        ++i;
    while (i < data.size() && isBlank(data[i]))
        ++i;
}

bool nextLine(const QByteArray& data, int& pos, Line& line) {
    const int size = data.size();
    bool inQuotes = false;
    line.equals = -1;
    line.start = pos;
    while (line.start < size && isBlank(data[line.start]))
        ++line.start;
    int i = line.start;
    while (i < size) {
        const char c = data[i++];
        if (c == '=' && !inQuotes && line.equals == -1) {
            line.equals = i - 1;
        } else if (c == '\n' || c == '\r' || c == ';') {
            if (i == line.start + 1 && c == ';') {
                skipComment(data, i);
                line.start = i;
            } else if (i == line.start + 1) {
                ++line.start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (c == '\\' && i < size) {
            const char escaped = data[i++];
            if (i < size &&
                ((escaped == '\n' && data[i] == '\r') || (escaped == '\r' && data[i] == '\n')))
                ++i;
        } else if (c == '"') {
            inQuotes = !inQuotes;
        }
    }
    pos = i;
    line.end = i;
    return line.end > line.start;
}

int digitValue(char c, int base) {
    const int value = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : 99;
    return value < base ? value : -1;
}

// A value's text as Qt unescapes it: one item, or the items of a comma-separated list.
class ValueText {
public:
    ValueText(const QByteArray& data, int from, int to, bool utf8)
        : m_data(data)
        , m_i(from)
        , m_to(to)
        , m_utf8(utf8) {}

    QStringList items() {
        skipBlanks();
        bool chop = true;
        while (m_i < m_to) {
            const char c = m_data[m_i];
            if (c == '\\') {
                if (++m_i >= m_to) {
                    chop = false; // Qt stops at a trailing backslash without trimming
                    break;
                }
                escape();
            } else if (c == '"') {
                ++m_i;
                m_quoted = true;
                m_inQuotes = !m_inQuotes;
                if (!m_inQuotes)
                    skipBlanks();
            } else if (c == ',' && !m_inQuotes) {
                endItem();
                ++m_i;
                skipBlanks();
            } else {
                appendRun();
            }
        }
        if (chop && !m_quoted)
            chopBlanks();
        m_items << m_current;
        return m_items;
    }

private:
    void escape() {
        static const char codes[] = "a\ab\bf\fn\nr\rt\tv\v\"\"?\?''\\\\";
        const char c = m_data[m_i++];
        for (int k = 0; codes[k]; k += 2) {
            if (c == codes[k]) {
                m_current += QLatin1Char(codes[k + 1]);
                m_chopLimit = m_current.size();
                return;
            }
        }
        if ((c == 'x' && m_i < m_to && digitValue(m_data[m_i], 16) >= 0) || digitValue(c, 8) >= 0) {
            const int base = c == 'x' ? 16 : 8;
            // Qt keeps a code of 16 bits, which wraps on long runs of digits.
            quint16 code = c == 'x' ? 0 : quint16(c - '0');
            for (int digit; m_i < m_to && (digit = digitValue(m_data[m_i], base)) >= 0; ++m_i)
                code = quint16(code * base + digit);
            m_current += QChar(code);
        } else if ((c == '\n' || c == '\r') && m_i < m_to &&
                   (m_data[m_i] == '\n' || m_data[m_i] == '\r') && m_data[m_i] != c) {
            ++m_i;
        }
        m_chopLimit = m_current.size();
    }

    void appendRun() {
        int j = m_i + 1;
        while (j < m_to && m_data[j] != '\\' && m_data[j] != '"' && m_data[j] != ',')
            ++j;
        const char* run = m_data.constData() + m_i;
        m_current += m_utf8 ? QString::fromUtf8(run, j - m_i) : QString::fromLatin1(run, j - m_i);
        m_i = j;
    }

    void endItem() {
        if (!m_quoted)
            chopBlanks();
        m_items << m_current;
        m_current.clear();
        m_quoted = false;
    }

    void skipBlanks() {
        while (m_i < m_to && (m_data[m_i] == ' ' || m_data[m_i] == '\t'))
            ++m_i;
        m_chopLimit = m_current.size();
    }

    void chopBlanks() {
        int size = m_current.size();
        while (size > m_chopLimit && (m_current[size - 1] == u' ' || m_current[size - 1] == u'\t'))
            --size;
        m_current.truncate(size);
    }

    const QByteArray& m_data;
    int m_i;
    const int m_to;
    const bool m_utf8;
    bool m_inQuotes = false;
    bool m_quoted = false;
    int m_chopLimit = 0;
    QString m_current;
    QStringList m_items;
};

// Keys and section names escape characters as %XX or %UXXXX, and stand '\' for Qt's '/'.
QString unescapedKey(const QByteArray& data, int from, int to) {
    QString key;
    for (int i = from; i < to;) {
        const char c = data[i];
        const int digits = i + 1 < to && data[i + 1] == 'U' ? 4 : 2;
        const int first = i + 1 + (digits == 4 ? 1 : 0);
        bool ok = false;
        const int code =
            c == '%' && first + digits <= to ? data.mid(first, digits).toInt(&ok, 16) : 0;
        if (ok) {
            key += QChar(code);
            i = first + digits;
        } else {
            key += c == '\\' ? QLatin1Char('/') : QLatin1Char(c);
            ++i;
        }
    }
    return key;
}

QString sectionName(const QByteArray& data, const Line& line) {
    int close = data.indexOf(']', line.start);
    if (close == -1 || close >= line.end)
        close = line.end;
    const QByteArray name = data.mid(line.start + 1, close - line.start - 1).trimmed();
    if (name.compare("general", Qt::CaseInsensitive) == 0)
        return QString();
    if (name.compare("%general", Qt::CaseInsensitive) == 0)
        return QString::fromLatin1(name.mid(1)) + u'/';
    return unescapedKey(name, 0, name.size()) + u'/';
}

} // namespace

// Qt decodes an item that starts with one of these and ends with ')': what follows the prefix,
// the ')' included, is the serialized value.
bool isDecodableStoredText(const QString& item) {
    if (!item.endsWith(u')'))
        return true;
    for (const auto& [prefix, version] :
         {std::pair{QLatin1String("@Variant("), QDataStream::Qt_4_0},
          std::pair{QLatin1String("@DateTime("), QDataStream::Qt_5_6}}) {
        if (item.startsWith(prefix))
            return isDecodableVariant(item.mid(prefix.size()).toLatin1(), version);
    }
    return true;
}

QString normalizedKey(const QString& key) {
    return key.split(u'/', Qt::SkipEmptyParts).join(u'/');
}

QVector<DamagedValue> damagedValues(const QByteArray& file) {
    // Qt reads the text of values as Latin-1 until it meets a file that starts with a UTF-8 byte
    // order mark, and as UTF-8 from then on, whatever files follow: a value must be decodable
    // read either way.
    QVector<DamagedValue> damaged;
    QString section;
    Line line;
    for (int pos = file.startsWith("\xef\xbb\xbf") ? 3 : 0; nextLine(file, pos, line);) {
        if (file[line.start] == '[') {
            section = sectionName(file, line);
            continue;
        }
        if (line.equals == -1)
            continue;
        // Only an '@', written or escaped, starts a serialized value.
        const auto value =
            QByteArray::fromRawData(file.constData() + line.equals + 1, line.end - line.equals - 1);
        if (!value.contains('@') && !value.contains('\\'))
            continue;
        QStringList items = ValueText(file, line.equals + 1, line.end, false).items();
        if (std::any_of(value.cbegin(), value.cend(), [](char c) { return c & 0x80; }))
            items += ValueText(file, line.equals + 1, line.end, true).items();
        if (std::all_of(items.cbegin(), items.cend(), isDecodableStoredText))
            continue;
        int keyEnd = line.equals;
        while (keyEnd > line.start && (file[keyEnd - 1] == ' ' || file[keyEnd - 1] == '\t'))
            --keyEnd;
        damaged.append({normalizedKey(section + unescapedKey(file, line.start, keyEnd)),
                        line.equals + 1, line.end});
    }
    return damaged;
}

QByteArray withoutDamagedValues(QByteArray file, const QVector<DamagedValue>& damaged) {
    // From the end, so that the places of the values before stay where they were found.
    for (auto it = damaged.crbegin(); it != damaged.crend(); ++it)
        file.replace(it->begin, it->end - it->begin, "@Invalid()");
    return file;
}

} // namespace Vorlant
