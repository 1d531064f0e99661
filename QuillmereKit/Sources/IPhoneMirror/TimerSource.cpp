#include "IPhoneMirror/TimerSource.h"

#include <QTimer>
#include <utility>

namespace qm {

namespace {

class QtOneShotTimer final : public OneShotTimer {
public:
    explicit QtOneShotTimer(Qt::TimerType type) {
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

    void start(std::chrono::milliseconds delay, std::function<void()> fire) override {
        fire_ = std::move(fire);
        timer_.start(delay);
    }

    void cancel() override {
        timer_.stop();
        fire_ = nullptr;
    }

private:
    QTimer timer_;
    std::function<void()> fire_;
};

}  // namespace

std::unique_ptr<OneShotTimer> QtTimerSource::makeTimer() {
    return std::make_unique<QtOneShotTimer>(type_);
}

}  // namespace qm
