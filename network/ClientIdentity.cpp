#include "network/ClientIdentity.h"

#include "settings/Settings.h"

#include <QStringList>
#include <QSysInfo>

#if defined(Q_PROCESSOR_X86) && defined(_MSC_VER)
#include <intrin.h>
#elif defined(Q_PROCESSOR_X86)
#include <cpuid.h>
#endif

namespace Vorlant {

namespace {

std::array<quint32, 4> readCpuidLeaf1() {
#if defined(Q_PROCESSOR_X86) && defined(_MSC_VER)
    int registers[4] = {};
    __cpuidex(registers, 1, 0);
    return {quint32(registers[0]), quint32(registers[1]), quint32(registers[2]),
            quint32(registers[3])};
#elif defined(Q_PROCESSOR_X86)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid_count(1, 0, &eax, &ebx, &ecx, &edx))
        return {0, 0, 0, 0};
    return {eax, ebx, ecx, edx};
#else
    return {0, 0, 0, 0};
#endif
}

// Only a plain base-10 number switches a kind on: "yes" or "0x1" count as 0.
bool isNonZeroDecimal(const QByteArray& value) {
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok, 10);
    return ok && number != 0;
}

} // namespace

QPair<QString, QString> osInfo() {
#ifdef Q_OS_WIN
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    return {QStringLiteral("Windows"), windowsVersionName(int(QSysInfo::windowsVersion()))};
    QT_WARNING_POP
#else
    QString family = QSysInfo::kernelType();
    if (!family.isEmpty())
        family[0] = family.at(0).toUpper();
    const QString version = QSysInfo::kernelVersion();
    return {family, version.isEmpty() ? QString() : version};
#endif
}

QString cpuId() {
    static const std::array<quint32, 4> registers = readCpuidLeaf1();
    return formatCpuId(registers);
}

QString userAgent() {
    return QStringLiteral("%1%2/%3").arg(
        QLatin1String(kClientName), userAgentSuffix(qgetenv("CONSOLE_APP"), qgetenv("SERVICE_APP")),
        Settings::currentVersion());
}

QString formatCpuId(const std::array<quint32, 4>& registers) {
    QStringList fields;
    for (const quint32 value : registers)
        fields << QString::number(value, 16);
    return fields.join(QLatin1Char(','));
}

QString userAgentSuffix(const QByteArray& consoleApp, const QByteArray& serviceApp) {
    if (isNonZeroDecimal(consoleApp))
        return QStringLiteral("-cli");
    if (isNonZeroDecimal(serviceApp))
        return QStringLiteral("-service");
    return QString();
}

QString windowsVersionName(int winVersion) {
    // QSysInfo::WinVersion values. Later versions get no name, so their requests carry no
    // "client-os-version" header at all.
    switch (winVersion) {
    case 0x30:
        return QStringLiteral("XP");
    case 0x40:
        return QStringLiteral("Server 2003");
    case 0x80:
        return QStringLiteral("Vista");
    case 0x90:
        return QStringLiteral("7");
    case 0xA0:
        return QStringLiteral("8");
    case 0xB0:
        return QStringLiteral("8.1");
    default:
        return QString();
    }
}

} // namespace Vorlant
