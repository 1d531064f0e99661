#include "QuillmereKit/Diagnostics/DiagnosticsReport.h"

#include <chrono>

#include "QuillmereCore/Log.h"
#include "ServerProtocol/ServerOptions.h"

namespace qm {

QString DiagnosticsReport::make(const DiagnosticsEnvironment& environment,
                                const QStringList& logLines, const DiagnosticsRedactor& redactor) {
    // Concatenated, not arg()-formatted: phone texts may hold "%1". Escaped as the log is: the
    // report is pasted where a control or bidirectional character would mislead.
    const auto text = [](const std::string& s) { return QString::fromStdString(Log::escaped(s)); };
    QStringList lines = {
        "Vantorel " + environment.appVersion + " (" + environment.appBuild + ")",
        environment.systemVersion,
        "Server protocol " + text(std::string(ServerVersion::string)) + ", ext " +
            QString::number(ServerVersion::extProtocol),
    };
    if (const std::optional<DeviceInfo>& device = environment.device) {
        lines.append("Device: " + text(device->manufacturer) + " " + text(device->model) +
                     ", Android " + text(device->androidRelease) + " (SDK " +
                     QString::number(device->sdk) + "), serial " + text(device->serial));
    } else {
        lines.append(QStringLiteral("Device: none"));
    }
    const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(window).count();
    lines.append("--- log (last " + QString::number(minutes) + " min) ---");
    lines.append(logLines);
    return redactor.redact(lines.join(u'\n'));
}

}  // namespace qm
