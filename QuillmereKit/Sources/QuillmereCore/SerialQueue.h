#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "QuillmereCore/Executor.h"

namespace qm {

// A named thread that runs posted work one piece at a time, in the order posted: the home of
// an actor whose events must keep their order.
class SerialQueue final : public Executor {
public:
    // `name` is the thread's name, at most 15 characters.
    explicit SerialQueue(std::string name);
    // Drops work not yet run and joins the thread.
    ~SerialQueue() override;
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    // Ignored after shutdown().
    void post(std::function<void()> work) override;
    // Runs `work` on the queue and waits for it; false when the queue is shut down. Must not be
    // called from the queue itself.
    bool sync(const std::function<void()>& work);
    // Lets the piece under way finish, drops the rest and joins; later posts are ignored.
    void shutdown() noexcept;
    bool isCurrent() const noexcept { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void loop();

    const std::string name_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> work_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace qm
