#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

#include "DeviceLink/DeviceInfo.h"
#include "QuillmereKit/Diagnostics/DiagnosticsRedactor.h"

namespace qm {

// What the report's header says about this computer and the phone.
struct DiagnosticsEnvironment {
    QString appVersion;
    QString appBuild;
    QString systemVersion;  // the operating system's name and version, kernel included
    std::optional<DeviceInfo> device;

    bool operator==(const DiagnosticsEnvironment&) const = default;
};

// The plain-text report a user pastes into a support request. Any thread.
namespace DiagnosticsReport {

// The span of log history a report covers.
inline constexpr std::chrono::seconds window{900};

// The header, then the log lines; redacted as a whole, the header too.
QString make(const DiagnosticsEnvironment& environment, const QStringList& logLines,
             const DiagnosticsRedactor& redactor);

}  // namespace DiagnosticsReport

}  // namespace qm
