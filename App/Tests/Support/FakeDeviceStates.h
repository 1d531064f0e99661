#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "Model/AppModelEnvironment.h"

namespace qm::test {

// The device link's states as the test publishes them: each goes to the subscriber through its
// executor, the current one first, as the link does.
class FakeDeviceStates final : public DeviceStateSource {
public:
    std::unique_ptr<Subscription> states(Executor& executor, Handler handler) override {
        ++subscriptions;
        subscribedBeforeStart = starts == 0;
        subscriber_ = std::make_shared<Subscriber>(Subscriber{&executor, std::move(handler)});
        publish(current);
        return std::make_unique<Token>(subscriber_);
    }
    void start() override { ++starts; }
    std::shared_ptr<AdbConnection> connection() const override { return nullptr; }

    void publish(DeviceLinkState state) {
        current = std::move(state);
        if (subscriber_ && subscriber_->executor != nullptr) {
            subscriber_->executor->post(
                [handler = subscriber_->handler, state = current] { handler(state); });
        }
    }

    DeviceLinkState current;
    int subscriptions = 0;
    int starts = 0;
    bool subscribedBeforeStart = false;

private:
    struct Subscriber {
        Executor* executor;
        Handler handler;
    };
    struct Token final : Subscription {
        explicit Token(std::shared_ptr<Subscriber> held) : subscriber(std::move(held)) {}
        ~Token() override { subscriber->executor = nullptr; }
        std::shared_ptr<Subscriber> subscriber;
    };

    std::shared_ptr<Subscriber> subscriber_;
};

}  // namespace qm::test
