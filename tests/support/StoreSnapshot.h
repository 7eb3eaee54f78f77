#pragma once

#include <QSettings>
#include <QVariantMap>

namespace Vorlant::Test {

// A second handle on the isolated shared store, for arranging and inspecting it behind the
// back of the Settings object under test.
QSettings rawStore();

// Every key of the isolated shared store with its value, e.g. to show that nothing was written.
QVariantMap storeSnapshot();

} // namespace Vorlant::Test
