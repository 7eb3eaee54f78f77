#pragma once

// What both fuzz targets share: the application, and the isolated store loaded with an input
// and read back whole.
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDataStream>
#include <QDateTime>
#include <QFile>

using namespace Vorlant;

// Values compare in serialized form, so that NaN equals itself and every type compares.
template <typename T> QByteArray bytes(const T& value) {
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
    stream << value;
    return data;
}

// A fatal message aborts, and the fuzzer keeps the input.
inline void check(bool holds, const char* invariant, const QString& detail) {
    if (!holds)
        qFatal("invariant violated: %s: %s", invariant, qPrintable(detail));
}

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*=false"); // arbitrary inputs make Qt warn on every run
    Test::isolateEnvironment();
    static int argc = 1;
    new QApplication(argc, *argv); // never destroyed: at exit its font cache would leak
    return 0;
}

// QSettings reads a file again on sync() only when its size or time changed: each load gets a
// time of its own, far from any time QSettings writes.
inline void loadStore(const QByteArray& contents) {
    static qint64 loads = 0;
    Test::rawStore().sync(); // nothing pending may be written over the new contents later
    Test::writeFile(Test::rawStore().fileName(), contents);
    QFile file(Test::rawStore().fileName());
    file.open(QIODevice::Append);
    file.setFileTime(QDateTime::fromSecsSinceEpoch(++loads), QFileDevice::FileModificationTime);
    Test::rawStore().sync();
}

// The store as the service or the next start finds it: written out, then read afresh.
inline QVariantMap storeOnDisk() {
    Test::rawStore().sync();
    loadStore(Test::readFile(Test::rawStore().fileName()));
    return Test::storeSnapshot();
}
