#pragma once

#include <QByteArray>
#include <QDataStream>

namespace Vorlant {

// Whether Qt can decode these bytes, the serialized form of one QVariant as the store keeps maps,
// lists and URLs, without reading past their end, without holding much more memory than they
// take, and without recursing deeper than any setting nests. Qt's own decoder trusts every count
// and length it reads: a list that claims 2^31 items makes it reserve them, and one nested a
// hundred thousand levels deep overflows the stack. Types a settings store has no use for (those
// of Qt's GUI module, JSON, types of other programs) are refused, so nothing unknown reaches it.
bool isDecodableVariant(const QByteArray& bytes, QDataStream::Version version);

} // namespace Vorlant
