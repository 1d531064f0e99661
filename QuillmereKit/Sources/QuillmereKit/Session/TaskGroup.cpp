#include "QuillmereKit/Session/TaskGroup.h"

#include <utility>

#include <pthread.h>

namespace qm {

namespace {

void nameThisThread(const std::string& name) {
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

}  // namespace

TaskGroup::~TaskGroup() {
    requestStop();
    threads_.clear();
    joiner_ = {};
}

void TaskGroup::spawn(std::string name, Body body) {
    threads_.emplace_back([name = std::move(name), body = std::move(body)](std::stop_token stop) {
        nameThisThread(name);
        body(std::move(stop));
    });
}

void TaskGroup::requestStop() {
    for (std::jthread& thread : threads_) {
        thread.request_stop();
    }
}

void TaskGroup::joinAll(std::function<void()> joined) {
    requestStop();
    joiner_ = std::jthread([threads = std::exchange(threads_, {}), previous = std::move(joiner_),
                            joined = std::move(joined)]() mutable {
        nameThisThread("session.join");
        if (previous.joinable()) {
            previous.join();
        }
        threads.clear();  // joins each
        if (joined) {
            joined();
        }
    });
}

}  // namespace qm
