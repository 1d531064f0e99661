#include "IPhoneMirror/OneShotTimer.h"

#include <utility>

namespace qm {

QtOneShotTimer::QtOneShotTimer(Qt::TimerType type) {
    timer_.setSingleShot(true);
    timer_.setTimerType(type);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        // The handler may start the next wait, which replaces `fire_`.
        std::function<void()> fire = std::exchange(fire_, nullptr);
        if (fire) {
            fire();
        }
    });
}

void QtOneShotTimer::start(std::chrono::milliseconds delay, std::function<void()> fire) {
    fire_ = std::move(fire);
    timer_.start(delay);
}

void QtOneShotTimer::cancel() {
    timer_.stop();
    fire_ = nullptr;
}

}  // namespace qm
