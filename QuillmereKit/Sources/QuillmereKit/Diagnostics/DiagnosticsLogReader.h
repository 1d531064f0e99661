#pragma once

#include <QStringList>
#include <chrono>
#include <string>

#include "QuillmereCore/Log.h"

namespace qm {

// The application's own recent log lines, for the diagnostics report. Any thread.
namespace DiagnosticsLogReader {

// The lines of the log history from `since` on, oldest first.
QStringList recentLines(std::chrono::system_clock::time_point since);

// "2026-01-02T03:04:05.678Z [category] LEVEL message", the time in UTC.
std::string line(const LogEntry& entry);

}  // namespace DiagnosticsLogReader

}  // namespace qm
