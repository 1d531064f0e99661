#pragma once

#include <QDBusConnection>
#include <QString>
#include <atomic>
#include <mutex>
#include <optional>

#include "QuillmereCore/ThreadPriority.h"

namespace qm {

// Gives this process's threads the priority of their work. Raising goes through RealtimeKit
// (org.freedesktop.RealtimeKit1 on the system bus), which grants nice levels down to its
// MinNiceLevel without a privilege of ours; lowering needs nobody's leave. Without the bus or the
// service, or on a refusal, the thread runs on as it was and the process logs one debug line.
// Any thread, on the thread to change: a raise waits for the bus's answer, so a thread asks once,
// as it starts.
class ThreadPriorities {
public:
    explicit ThreadPriorities(QDBusConnection bus);
    // The system bus's, for the whole process.
    static ThreadPriorities& system();

    // Whether the thread now has it.
    bool apply(ThreadPriority priority);

private:
    std::optional<int> minNiceLevel();
    void reportUnavailable(const QString& why);

    QDBusConnection bus_;
    std::atomic<bool> reported_ = false;
    std::once_flag minNiceAsked_;
    std::optional<int> minNiceLevel_;
};

}  // namespace qm
