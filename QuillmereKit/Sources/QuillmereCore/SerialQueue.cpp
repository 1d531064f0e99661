#include "QuillmereCore/SerialQueue.h"

#include <exception>
#include <memory>

#include <pthread.h>

#include "QuillmereCore/Log.h"

namespace qm {

SerialQueue::SerialQueue(std::string name) : name_(std::move(name)), thread_([this] { loop(); }) {}

SerialQueue::~SerialQueue() {
    stop(false);
}

void SerialQueue::shutdown() noexcept {
    stop(true);
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
    // A copy: the queue's thread never reads the caller's stack, where the sanitizer cannot
    // always see the function being built.
    post([work, finish = std::move(finish)] {
        work();
        finish->state->ran = true;
    });
    std::unique_lock lock(state->mutex);
    state->wake.wait(lock, [&] { return state->finished; });
    return state->ran;
}

void SerialQueue::stop(bool dropQueued) noexcept {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            stopping_ = true;
            dropQueued_ = dropQueued;
        }
    }
    wake_.notify_all();
    if (thread_.joinable() && !isCurrent()) {
        thread_.join();
    }
}

void SerialQueue::loop() {
    pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [&] { return stopping_ || !work_.empty(); });
        if (work_.empty() || (stopping_ && dropQueued_)) {
            break;
        }
        std::function<void()> work = std::move(work_.front());
        work_.pop_front();
        lock.unlock();
        try {
            work();
        } catch (const std::exception& error) {
            // One failed item must not take the process down with the thread.
            Log::session().error("{}: queued work failed: {}", name_, error.what());
        } catch (...) {
            Log::session().error("{}: queued work failed", name_);
        }
        work = nullptr;  // released here, on this thread
        lock.lock();
    }
    std::deque<std::function<void()>> dropped = std::move(work_);
    work_.clear();
    lock.unlock();
    dropped.clear();
}

}  // namespace qm
