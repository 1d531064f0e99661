#include "QuillmereCore/SerialQueue.h"

#include <exception>
#include <utility>

#include <pthread.h>

#include "QuillmereCore/Log.h"

namespace qm {

SerialQueue::SerialQueue(std::string name) : thread_([this, name] { run(name); }) {}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void SerialQueue::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void SerialQueue::run(const std::string& name) {
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) {
                return;
            }
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            work();
        } catch (const std::exception& error) {
            // One failed item must not take the process down with the thread.
            Log::session().error("{}: queued work failed: {}", name, error.what());
        } catch (...) {
            Log::session().error("{}: queued work failed", name);
        }
    }
}

}  // namespace qm
