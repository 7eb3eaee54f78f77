#pragma once

// What both fuzz targets share: the application over an isolated store, and that store read
// back whole as the service or the next start finds it. A broken invariant fails an assert,
// on in every build type, and the fuzzer keeps the input.
#undef NDEBUG
#include <cassert>

#include "support/TestEnvironment.h"

#include <QApplication>

using namespace Vorlant;

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*=false"); // arbitrary inputs make Qt warn on every run
    Test::isolateEnvironment();
    static int argc = 1;
    new QApplication(argc, *argv); // never destroyed: at exit its font cache would leak
    return 0;
}

// Written out, then read afresh.
inline QVariantMap storeOnDisk() {
    Test::rawStore().sync();
    Test::loadStore(Test::readFile(Test::rawStore().fileName()));
    return Test::storeSnapshot();
}
