#pragma once

#include "FuzzSupport.h"

namespace Vorlant::Fuzz {

// The store that the start-up upgrade should leave behind, worked out on plain maps from the
// store it found: the reference the fuzzer holds the real upgrade against.
StoreMap expectedAfterMigration(const StoreMap& before);

} // namespace Vorlant::Fuzz
