#pragma once

#include <QFlags>
#include <QString>

namespace Vorlant {

// The upgrades a store may need at start-up; they always run in this order.
enum class MigrationStep {
    MoveAccountKeys = 0x1,   // account keys out of the miner entries, to the top level
    RekeyByEngine = 0x2,     // miner entries renamed after their engine
    ClearMergedMining = 0x4, // the old merged-mining choice dropped
    RefreshAutostart = 0x8,  // the autostart entry rewritten in the current form
};
Q_DECLARE_FLAGS(MigrationSteps, MigrationStep)
Q_DECLARE_OPERATORS_FOR_FLAGS(MigrationSteps)

// Layout version of a store too old to keep a "version" key, told by the engine of its first
// miner entry; empty when the engine gives no clue.
QString versionFromFirstEngine(const QString& engine);

// The steps that bring a store of the given layout version up to date; none for a text that
// is not a major.minor version.
MigrationSteps migrationSteps(const QString& version);

} // namespace Vorlant
