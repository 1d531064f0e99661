#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "QuillmereCore/Executor.h"

namespace qm {

// Dropping it ends the subscription.
class Subscription {
public:
    virtual ~Subscription() = default;
};

// A piece of state and its subscribers: each hears, on its own executor, the current value and
// then every change, in order and never the same value twice in a row. Any thread may publish
// or subscribe. Subscriptions may outlive the publisher.
template <typename State>
class StatePublisher {
public:
    using Handler = std::function<void(const State&)>;

    explicit StatePublisher(State initial = {})
        : shared_(std::make_shared<Shared>(std::move(initial))) {}

    // `executor` must outlive the subscription. Dropping the subscription on another thread
    // returns once no handler of it runs; a handler may drop its own subscription.
    [[nodiscard]] std::unique_ptr<Subscription> subscribe(Executor& executor, Handler handler) {
        auto entry = std::make_shared<Entry>();
        entry->handler = std::move(handler);
        std::lock_guard lock(shared_->mutex);
        const std::uint64_t id = shared_->nextID++;
        shared_->observers.emplace(id, Observer{&executor, entry});
        deliver(executor, entry, shared_->state);
        return std::make_unique<Token>(shared_, id, std::move(entry));
    }

    // False when the state is unchanged.
    bool publish(const State& state) {
        std::lock_guard lock(shared_->mutex);
        if (state == shared_->state) {
            return false;
        }
        shared_->state = state;
        for (const auto& [id, observer] : shared_->observers) {
            deliver(*observer.executor, observer.entry, shared_->state);
        }
        return true;
    }

private:
    struct Entry {
        Handler handler;
        // Held through each delivery; recursive, so a handler may drop its own subscription.
        std::recursive_mutex delivering;
        bool active = true;
    };
    struct Observer {
        Executor* executor;
        std::shared_ptr<Entry> entry;
    };
    struct Shared {
        explicit Shared(State initial) : state(std::move(initial)) {}

        std::mutex mutex;
        State state;
        std::map<std::uint64_t, Observer> observers;
        std::uint64_t nextID = 0;
    };

    class Token final : public Subscription {
    public:
        Token(std::shared_ptr<Shared> shared, std::uint64_t id, std::shared_ptr<Entry> entry)
            : shared_(std::move(shared)), id_(id), entry_(std::move(entry)) {}
        ~Token() override {
            {
                std::lock_guard delivering(entry_->delivering);
                entry_->active = false;
            }
            std::lock_guard lock(shared_->mutex);
            shared_->observers.erase(id_);
        }

    private:
        std::shared_ptr<Shared> shared_;
        std::uint64_t id_;
        std::shared_ptr<Entry> entry_;
    };

    static void deliver(Executor& executor, std::shared_ptr<Entry> entry, const State& state) {
        executor.post([entry = std::move(entry), state] {
            std::lock_guard delivering(entry->delivering);
            if (entry->active) {
                entry->handler(state);
            }
        });
    }

    std::shared_ptr<Shared> shared_;
};

}  // namespace qm
