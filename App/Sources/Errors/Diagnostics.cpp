#include "Errors/Diagnostics.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSysInfo>
#include <utility>

namespace qm {

DiagnosticsEnvironment Diagnostics::environment(const Bundle& bundle,
                                                std::optional<DeviceInfo> device) {
    const QString unknown = QStringLiteral("?");
    return {bundle.infoString("CFBundleShortVersionString").value_or(unknown),
            bundle.infoString("CFBundleVersion").value_or(unknown),
            QSysInfo::prettyProductName() + ", kernel " + QSysInfo::kernelVersion(),
            std::move(device)};
}

GuiTask<void> Diagnostics::copyToClipboard(QObject* context, const Bundle& bundle,
                                           const QStringList& knownSerials,
                                           std::optional<DeviceInfo> device, LogReader reader) {
    GuiTask<void> copied(context);
    runOnWorker(context, [header = environment(bundle, std::move(device)),
                          redactor = DiagnosticsRedactor(knownSerials),
                          reader = std::move(reader)] {
        QStringList lines;
        try {
            lines = reader(std::chrono::system_clock::now() - DiagnosticsReport::window);
        } catch (...) {
            lines = {QStringLiteral("(log unavailable)")};
        }
        return DiagnosticsReport::make(header, lines, redactor);
    }).then([copied](const TaskOutcome<QString>& report) {
        if (report.hasValue()) {
            QGuiApplication::clipboard()->setText(report.get());
        }
        copied.settle({});
    });
    return copied;
}

}  // namespace qm
