#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "QuillmereCore/Executor.h"

namespace qm {

// Runs posted work one item at a time, in order, on a thread of its own with the given name
// (at most 15 characters reach the system). Work still queued when the queue is destroyed runs
// before the thread is joined; each item is also released on that thread. A failing item is
// logged and the queue goes on. The queue must not be destroyed by its own work.
class SerialQueue final : public Executor {
public:
    explicit SerialQueue(std::string name);
    ~SerialQueue() override;
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void post(std::function<void()> work) override;

private:
    void run(const std::string& name);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace qm
