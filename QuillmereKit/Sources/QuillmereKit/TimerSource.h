#pragma once

#include <memory>

#include "IPhoneMirror/OneShotTimer.h"

namespace qm {

// Where GUI-thread waits get their timers: Qt timers in the app, timers a test advances in
// tests, so that no test waits for real time.
class TimerSource {
public:
    virtual ~TimerSource() = default;
    // A timer on the calling thread, which must run an event loop.
    virtual std::unique_ptr<OneShotTimer> makeTimer() = 0;
};

class QtTimerSource final : public TimerSource {
public:
    explicit QtTimerSource(Qt::TimerType type = Qt::CoarseTimer) : type_(type) {}

    std::unique_ptr<OneShotTimer> makeTimer() override {
        return std::make_unique<QtOneShotTimer>(type_);
    }

private:
    Qt::TimerType type_;
};

}  // namespace qm
