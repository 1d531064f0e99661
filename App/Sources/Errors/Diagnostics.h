#pragma once

#include <QObject>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>

#include "DeviceLink/DeviceInfo.h"
#include "QuillmereKit/Diagnostics/DiagnosticsLogReader.h"
#include "QuillmereKit/Diagnostics/DiagnosticsReport.h"
#include "QuillmereKit/Tasks/GuiTask.h"
#include "Storage/Bundle.h"

namespace qm {

// Copies the diagnostics report for a support request. GUI thread.
namespace Diagnostics {

// The log lines from a time on; may throw when the log cannot be read.
using LogReader = std::function<QStringList(std::chrono::system_clock::time_point since)>;

// Version and build from the bundle's Info.json ("?" where missing), this system's name and
// kernel, and the phone.
DiagnosticsEnvironment environment(const Bundle& bundle, std::optional<DeviceInfo> device);

// Builds the report on a worker, redacting every serial seen since launch, and puts it on the
// clipboard; settles once it is there. A log that cannot be read gives "(log unavailable)".
GuiTask<void> copyToClipboard(QObject* context, const Bundle& bundle,
                              const QStringList& knownSerials, std::optional<DeviceInfo> device,
                              LogReader reader = DiagnosticsLogReader::recentLines);

}  // namespace Diagnostics

}  // namespace qm
