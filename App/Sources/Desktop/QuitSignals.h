#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <array>
#include <memory>
#include <optional>

#include <signal.h>

#include "QuillmereCore/FileDescriptor.h"

namespace qm {

// SIGTERM, SIGINT and SIGHUP, what a logout, Ctrl+C and a closed terminal send, carried into the
// event loop: the handler only writes a byte to a pipe, whose reading end emits `requested` on
// the GUI thread, once: the signals that follow change nothing, but a second SIGINT (Ctrl+C
// pressed again) ends the process at once, as it would have without this. A signal the process
// was started ignoring (nohup) stays ignored. One per process; made and destroyed on the GUI
// thread.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    // Runs in the handler before a second SIGINT ends the process: async-signal-safe calls only.
    using LastWords = void (*)();

    explicit QuitSignals(LastWords lastWords = nullptr, QObject* parent = nullptr);
    // The signals act as they did before.
    ~QuitSignals() override;

    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

signals:
    void requested();

private:
    FileDescriptor reading_;
    FileDescriptor writing_;
    std::unique_ptr<QSocketNotifier> notifier_;
    // The actions replaced, by signal; none for a signal left as it was.
    std::array<std::optional<struct sigaction>, 3> previous_;
};

}  // namespace qm
