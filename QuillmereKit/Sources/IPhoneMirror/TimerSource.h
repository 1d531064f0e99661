#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <QtCore/qnamespace.h>

namespace qm {

// One wait at a time on the owner's thread, cancellable so that nothing fires once its owner
// has stopped.
class OneShotTimer {
public:
    virtual ~OneShotTimer() = default;

    // Calls `fire` once after `delay`; replaces a wait still pending.
    virtual void start(std::chrono::milliseconds delay, std::function<void()> fire) = 0;
    // The pending wait, if any, never fires.
    virtual void cancel() = 0;
};

// Where GUI-thread waits get their timers: Qt timers in the app, timers a test advances in
// tests, so that no test waits for real time.
class TimerSource {
public:
    virtual ~TimerSource() = default;
    // A timer on the calling thread, which must run an event loop.
    virtual std::unique_ptr<OneShotTimer> makeTimer() = 0;
};

// QTimers on the event loop of the thread that makes them.
class QtTimerSource final : public TimerSource {
public:
    // Precise timers for short ticks that must not drift; coarse ones spare wake-ups.
    explicit QtTimerSource(Qt::TimerType type = Qt::CoarseTimer) : type_(type) {}

    std::unique_ptr<OneShotTimer> makeTimer() override;
    Qt::TimerType type() const noexcept { return type_; }

private:
    Qt::TimerType type_;
};

}  // namespace qm
