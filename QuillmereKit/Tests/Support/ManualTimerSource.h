#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "IPhoneMirror/TimerSource.h"

namespace qm::test {

// Timers on one clock that only the test moves: advance() fires every timer that falls due,
// earliest first, on the test's thread.
class ManualTimerSource final : public TimerSource {
public:
    std::unique_ptr<OneShotTimer> makeTimer() override {
        auto timer = std::make_unique<Timer>(*this);
        timers_.push_back(timer.get());
        return timer;
    }

    void advance(std::chrono::milliseconds by) {
        const std::chrono::milliseconds end = now_ + by;
        while (Timer* due = nextDue(end)) {
            now_ = due->deadline;
            std::exchange(due->fire, nullptr)();
        }
        now_ = end;
    }

    // How far the clock has moved; inside a timer's handler, that timer's deadline.
    std::chrono::milliseconds now() const { return now_; }

    // Timers alive with a wait pending.
    std::size_t pending() const {
        return std::count_if(timers_.begin(), timers_.end(),
                             [](const Timer* timer) { return timer->fire != nullptr; });
    }

private:
    struct Timer final : OneShotTimer {
        explicit Timer(ManualTimerSource& owner) : source(owner) {}
        ~Timer() override { std::erase(source.timers_, this); }

        void start(std::chrono::milliseconds delay, std::function<void()> handler) override {
            deadline = source.now_ + delay;
            fire = std::move(handler);
        }
        void cancel() override { fire = nullptr; }

        ManualTimerSource& source;
        std::chrono::milliseconds deadline{0};
        std::function<void()> fire;
    };

    Timer* nextDue(std::chrono::milliseconds end) const {
        Timer* earliest = nullptr;
        for (Timer* timer : timers_) {
            if (timer->fire && timer->deadline <= end &&
                (!earliest || timer->deadline < earliest->deadline)) {
                earliest = timer;
            }
        }
        return earliest;
    }

    std::chrono::milliseconds now_{0};
    std::vector<Timer*> timers_;
};

}  // namespace qm::test
