#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace Vorlant {

// A value of the store file that Qt would decode as a serialized QVariant and cannot decode
// safely: its key as Qt names it, and where its text stands in the file.
struct DamagedValue {
    QString key;
    int begin = 0;
    int end = 0;
};

// Qt's INI reader decodes every serialized value of a section ("@Variant(...)", "@DateTime(...)")
// the first time any key of that section is read, and every one in the file before it writes
// the file back. This finds the values it could not decode safely, reading the file as Qt does:
// its logical lines, quoting, escapes and lists.
QVector<DamagedValue> damagedValues(const QByteArray& file);

// Whether Qt decodes this text of a stored value safely: text that is no serialized value, or
// one whose bytes are decodable.
bool isDecodableStoredText(const QString& text);

// Qt's key without empty levels ("miners/xmr/pool"), as it names keys in every store.
QString normalizedKey(const QString& key);

// The file with each of those values replaced by Qt's invalid marker, which reads as no value.
QByteArray withoutDamagedValues(QByteArray file, const QVector<DamagedValue>& damaged);

} // namespace Vorlant
