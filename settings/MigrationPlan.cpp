#include "settings/MigrationPlan.h"

#include <QStringList>

namespace Vorlant {

QString versionFromFirstEngine(const QString& engine) {
    if (engine == QLatin1String("bytecoinminerengine"))
        return QStringLiteral("1.05");
    if (engine == QLatin1String("bcn"))
        return QStringLiteral("1.07");
    return QString();
}

MigrationSteps migrationSteps(const QString& version) {
    using Step = MigrationStep;
    const QStringList parts = version.split(u'.');
    if (parts.size() < 2)
        return {};
    const int major = parts.at(0).toInt();
    // Unsigned, so a negative minor lies beyond every bound below.
    const uint minor = uint(parts.at(1).toInt());
    switch (major) {
    case 1:
        if (minor <= 4)
            return Step::ClearMergedMining;
        if (minor <= 6)
            return Step::MoveAccountKeys | Step::RekeyByEngine | Step::ClearMergedMining;
        if (minor <= 9)
            return Step::RekeyByEngine | Step::ClearMergedMining;
        return Step::ClearMergedMining;
    case 2:
        return minor <= 6 ? MigrationSteps(Step::ClearMergedMining) : MigrationSteps();
    case 5:
        return minor <= 6 ? MigrationSteps(Step::RefreshAutostart) : MigrationSteps();
    default:
        return {};
    }
}

} // namespace Vorlant
