#pragma once

// What both fuzz targets share: the application, and the isolated store loaded with an input
// and read back whole.
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDataStream>

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

// The store as the service or the next start finds it: written out, then read afresh.
inline QVariantMap storeOnDisk() {
    Test::rawStore().sync();
    Test::loadStore(Test::readFile(Test::rawStore().fileName()));
    return Test::storeSnapshot();
}
