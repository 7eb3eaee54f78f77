#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>

#include <array>

namespace Vorlant {

// What this client says about itself in every request: the identity headers and User-Agent.
inline const char kClientName[] = "VorlantWin";

// The operating system as (family, version); the version is a null string when unknown.
QPair<QString, QString> osInfo();

// The processor identification string: the four CPUID leaf 1 registers (EAX, EBX, ECX, EDX).
// The registers are read once per process; "0,0,0,0" where there is no CPUID.
QString cpuId();

// "VorlantWin" + kind suffix + "/" + program version; the environment is read on every call.
QString userAgent();

// The pure parts of the above, for callers and tests that bring their own values.
QString formatCpuId(const std::array<quint32, 4>& registers);
QString userAgentSuffix(const QByteArray& consoleApp, const QByteArray& serviceApp);
QString windowsVersionName(int winVersion);

} // namespace Vorlant
