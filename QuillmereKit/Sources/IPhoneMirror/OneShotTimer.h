#pragma once

#include <QTimer>
#include <chrono>
#include <functional>

namespace qm {

// One wait at a time on the owner's thread, cancellable so that nothing fires once its owner
// has stopped: a QTimer in the app, a timer the test advances in tests.
class OneShotTimer {
public:
    virtual ~OneShotTimer() = default;

    // Calls `fire` once after `delay`; replaces a wait still pending.
    virtual void start(std::chrono::milliseconds delay, std::function<void()> fire) = 0;
    // The pending wait, if any, never fires.
    virtual void cancel() = 0;
};

// On the Qt event loop of the thread that made it.
class QtOneShotTimer final : public OneShotTimer {
public:
    // Precise timers for short ticks that must not drift; coarse ones spare wake-ups.
    explicit QtOneShotTimer(Qt::TimerType type = Qt::CoarseTimer);

    void start(std::chrono::milliseconds delay, std::function<void()> fire) override;
    void cancel() override;

private:
    QTimer timer_;
    std::function<void()> fire_;
};

}  // namespace qm
