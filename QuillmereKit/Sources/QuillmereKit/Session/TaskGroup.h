#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace qm {

// The threads of one stream: one per task, each with its stop token. Stopping asks them all at
// once and joins them on a worker of the group, never on the caller's thread, so a GUI thread
// can tear a stream down without waiting for a socket. Workers of successive stops join in
// order, so everything started before a stop has ended when its completion runs. Owner's
// thread only.
class TaskGroup {
public:
    using Body = std::function<void(std::stop_token)>;

    TaskGroup() = default;
    // Asks every thread to stop and joins them here: the owner closes what they read first.
    ~TaskGroup();
    TaskGroup(const TaskGroup&) = delete;
    TaskGroup& operator=(const TaskGroup&) = delete;

    // `name` is the thread's; at most 15 characters reach the system.
    void spawn(std::string name, Body body);
    // Every thread started so far is asked to stop; they stay in the group until joined.
    void requestStop();
    // Takes every thread started so far and joins it on a worker, after the workers of earlier
    // calls; `joined` then runs on that worker.
    void joinAll(std::function<void()> joined);

private:
    std::vector<std::jthread> threads_;
    std::jthread joiner_;  // the latest joinAll's worker
};

}  // namespace qm
