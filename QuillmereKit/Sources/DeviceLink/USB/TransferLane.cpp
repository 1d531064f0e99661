#include "DeviceLink/USB/TransferLane.h"

#include <pthread.h>

#include "DeviceLink/AdbMessage.h"

namespace qm {

TransferLane::TransferLane(const char* name) : name_(name), thread_([this] { loop(); }) {}

TransferLane::~TransferLane() {
    stop();
}

void TransferLane::submit(Job& job) {
    std::unique_lock lock(mutex_);
    if (stopping_) {
        throw AdbError::closed();
    }
    (tail_ ? tail_->next : head_) = &job;
    tail_ = &job;
    work_.notify_one();
    finished_.wait(lock, [&] { return job.done; });
    if (job.error) {
        std::rethrow_exception(job.error);
    }
}

void TransferLane::loop() {
    pthread_setname_np(pthread_self(), name_);
    std::unique_lock lock(mutex_);
    while (true) {
        work_.wait(lock, [&] { return stopping_ || head_ != nullptr; });
        if (stopping_) {
            break;
        }
        Job& job = *head_;
        head_ = job.next;
        if (head_ == nullptr) {
            tail_ = nullptr;
        }
        lock.unlock();
        try {
            job.invoke(job.context);
        } catch (...) {
            job.error = std::current_exception();
        }
        lock.lock();
        job.done = true;
        finished_.notify_all();
    }
    for (Job* job = head_; job != nullptr; job = job->next) {
        job->error = std::make_exception_ptr(AdbError::closed());
        job->done = true;
    }
    head_ = tail_ = nullptr;
    finished_.notify_all();
}

void TransferLane::stop() noexcept {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

}  // namespace qm
