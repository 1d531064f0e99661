#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "QuillmereCore/Executor.h"

namespace qm {

// A named thread that runs posted work one item at a time, in the order posted: the home of an
// actor whose events must keep their order, and of the render queue. Every item is run or
// dropped, and released, on that thread. A failing item is logged and the queue goes on.
class SerialQueue final : public Executor {
public:
    // `name` is the thread's name; at most 15 characters reach the system.
    explicit SerialQueue(std::string name);
    // Runs the work still queued, then joins the thread (unless shutdown() came first). The
    // queue must not be destroyed by its own work.
    ~SerialQueue() override;
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    // Ignored after shutdown().
    void post(std::function<void()> work) override;
    // Runs `work` on the queue and waits for it; false when the queue was shut down first. Must
    // not be called from the queue itself.
    bool sync(const std::function<void()>& work);
    // Lets the item under way finish, drops the rest and joins; later posts are ignored.
    void shutdown() noexcept;
    bool isCurrent() const noexcept { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void loop();
    void stop(bool dropQueued) noexcept;

    const std::string name_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> work_;
    bool stopping_ = false;
    bool dropQueued_ = false;
    std::thread thread_;
};

}  // namespace qm
