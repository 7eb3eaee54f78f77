#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

namespace Vorlant::Fuzz {

// Every key of a store file with its value, keyed by full path ("miners/bcn/pool").
using StoreMap = QMap<QString, QVariant>;

// Isolates the store and home, silences Qt's chatter and creates the application object the
// program runs under (offscreen). Call once, from LLVMFuzzerInitialize.
void startApplication(const char* argv0);

// Puts the given file in place of the shared store and makes every QSettings of the process,
// Settings' own included, read it; and the store file once everything pending is written.
void loadStore(const QByteArray& contents);
QByteArray storeFile();

// Reports a broken invariant with what was seen, and stops so the fuzzer keeps the input.
[[noreturn]] void violated(const char* invariant, const QString& detail);

// A store file as Qt reads it (the keys a lookup reaches), and the file Qt writes for a set
// of keys.
StoreMap parseStore(const QByteArray& contents);
QByteArray writeStore(const StoreMap& keys);

// The file as Qt writes it back once it has read it and has something to write. Qt's write
// can differ from what it read: a malformed line may turn into a key that a lookup reaches.
QByteArray rewrittenByQt(const QByteArray& contents);

// The keys of that write-back which come from lines no lookup reached (a "[/miners]" section):
// they belong to no entry, and no removal reaches them before Qt writes them back.
StoreMap surfacedByQt(const QByteArray& contents);

// The groups that Qt lists in group ("" for the top) of a store file. A malformed line can add a
// group whose keys no lookup reaches ("a//b=1" lists a group a), so this is more than the groups
// of the parsed keys.
QStringList listedGroups(const QByteArray& contents, const QString& group);

// The keys as they read back once Qt has written them: plain values come back as text, so this
// is the form in which two stores can be compared.
StoreMap roundTrip(const StoreMap& keys);

// base with the changes that lead from `from` to `to`: each key that one of them holds and the
// other does not, or holds with another value, takes its state in `to`.
StoreMap withChanges(StoreMap base, const StoreMap& from, const StoreMap& to);

bool sameValue(const QVariant& a, const QVariant& b);
QString describe(const QVariant& value);

// One "key = value" line per key.
QString dump(const StoreMap& keys);

// Lines naming every key that is missing, extra or different in actual; empty when they match.
QString differences(const StoreMap& expected, const StoreMap& actual);

// Sorted names of the groups and keys directly below prefix ("" for the top, "miners/").
QStringList childGroups(const StoreMap& keys, const QString& prefix);
QStringList childKeys(const StoreMap& keys, const QString& prefix);

// A name that can only name its own entry: not empty, no group separator, no control character
// (the registry ends a key name at NUL).
bool namesOwnEntry(const QString& name);

// Drops key and everything below it, as QSettings::remove does.
void removeTree(StoreMap& keys, const QString& key);

} // namespace Vorlant::Fuzz
