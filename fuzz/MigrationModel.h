#pragma once

#include "FuzzSupport.h"

namespace Vorlant::Fuzz {

// What the upgrade finds: the keys, and the groups as Qt lists them at the top and in "miners"
// (a malformed line can list a group that holds no reachable key).
struct StoreBefore {
    StoreMap keys;
    QStringList groups;
    QStringList minerGroups;
};

// The store that the start-up upgrade should leave behind, worked out on plain maps: the
// reference the fuzzer holds the real upgrade against.
StoreMap expectedAfterMigration(const StoreBefore& before);

} // namespace Vorlant::Fuzz
