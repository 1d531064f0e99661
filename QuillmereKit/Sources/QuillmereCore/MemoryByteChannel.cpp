#include "QuillmereCore/MemoryByteChannel.h"

#include <algorithm>

namespace qm {

void MemoryByteChannel::feed(ByteView data) {
    bool woke = false;
    {
        std::lock_guard lock(mutex_);
        if (finished_ || closed_) {
            return;
        }
        buffer_.insert(buffer_.end(), data.begin(), data.end());
        woke = serveWaiters();
    }
    if (woke) {
        wake_.notify_all();
    }
}

void MemoryByteChannel::finish() {
    {
        std::lock_guard lock(mutex_);
        if (finished_ || closed_) {
            return;
        }
        finished_ = true;
        serveWaiters();
    }
    wake_.notify_all();
}

Bytes MemoryByteChannel::written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

std::size_t MemoryByteChannel::parkedReaderCount() const {
    std::lock_guard lock(mutex_);
    return waiters_.size();
}

void MemoryByteChannel::write(ByteView data) {
    std::lock_guard lock(mutex_);
    if (closed_) {
        throw ByteIOError::closed();
    }
    written_.insert(written_.end(), data.begin(), data.end());
}

void MemoryByteChannel::close() noexcept {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        closed_ = true;
        buffer_.clear();
        head_ = 0;
        for (Waiter* waiter : waiters_) {
            waiter->state = WaiterState::failed;
            waiter->failure = ByteIOErrorKind::closed;
        }
        waiters_.clear();
    }
    wake_.notify_all();
}

void MemoryByteChannel::readInto(std::span<std::uint8_t> into, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    Waiter waiter{++nextWaiterID_, into};
    if (closed_) {
        throw ByteIOError::closed();
    }
    if (stop.stop_requested()) {
        throw CancellationError();
    }
    if (waiters_.empty() && buffered() >= into.size()) {
        take(into);
        return;
    }
    if (finished_) {
        throw ByteIOError::endOfStream();
    }
    waiters_.push_back(&waiter);

    wake_.wait(lock, stop, [&] { return waiter.state != WaiterState::parked; });

    switch (waiter.state) {
        case WaiterState::served:
            return;
        case WaiterState::failed:
            throw ByteIOError(waiter.failure);
        case WaiterState::parked:
            break;
    }
    // Cancelled while still parked: leave the queue and let the readers behind us move up.
    std::erase(waiters_, &waiter);
    const bool woke = serveWaiters();
    lock.unlock();
    if (woke) {
        wake_.notify_all();
    }
    throw CancellationError();
}

void MemoryByteChannel::take(std::span<std::uint8_t> into) {
    std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(head_), into.size(), into.begin());
    head_ += into.size();
    // Compact once the taken prefix dominates, so the buffer stays bounded by unread input.
    if (head_ == buffer_.size()) {
        buffer_.clear();
        head_ = 0;
    } else if (head_ >= 4096 && head_ * 2 >= buffer_.size()) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
}

bool MemoryByteChannel::serveWaiters() {
    bool any = false;
    while (!waiters_.empty()) {
        Waiter* first = waiters_.front();
        if (buffered() >= first->into.size()) {
            take(first->into);
            first->state = WaiterState::served;
        } else if (finished_) {
            first->state = WaiterState::failed;
            first->failure = ByteIOErrorKind::endOfStream;
        } else {
            break;
        }
        waiters_.pop_front();
        any = true;
    }
    return any;
}

}  // namespace qm
