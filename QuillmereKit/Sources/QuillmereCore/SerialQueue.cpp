#include "QuillmereCore/SerialQueue.h"

#include <memory>

#include <pthread.h>

namespace qm {

SerialQueue::SerialQueue(std::string name) : name_(std::move(name)), thread_([this] { loop(); }) {}

SerialQueue::~SerialQueue() {
    shutdown();
}

void SerialQueue::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        work_.push_back(std::move(work));
    }
    wake_.notify_one();
}

bool SerialQueue::sync(const std::function<void()>& work) {
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        bool finished = false;
        bool ran = false;
    };
    // Signals when the last copy of the posted work goes, whether it ran or was dropped.
    struct Finish {
        std::shared_ptr<State> state;
        ~Finish() {
            if (!state) {
                return;
            }
            std::lock_guard lock(state->mutex);
            state->finished = true;
            state->wake.notify_all();
        }
    };
    auto state = std::make_shared<State>();
    auto finish = std::make_shared<Finish>();
    finish->state = state;
    post([&work, finish = std::move(finish)] {
        work();
        finish->state->ran = true;
    });
    std::unique_lock lock(state->mutex);
    state->wake.wait(lock, [&] { return state->finished; });
    return state->ran;
}

void SerialQueue::loop() {
    pthread_setname_np(pthread_self(), name_.c_str());
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [&] { return stopping_ || !work_.empty(); });
        if (stopping_) {
            break;
        }
        std::function<void()> work = std::move(work_.front());
        work_.pop_front();
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
    }
    std::deque<std::function<void()>> dropped = std::move(work_);
    work_.clear();
    lock.unlock();
    dropped.clear();
}

void SerialQueue::shutdown() noexcept {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable() && !isCurrent()) {
        thread_.join();
    }
}

}  // namespace qm
