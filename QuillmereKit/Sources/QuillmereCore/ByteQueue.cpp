#include "QuillmereCore/ByteQueue.h"

#include <algorithm>

namespace qm {

void ByteQueue::holdBackAbove(std::size_t mark, std::function<void()> resume) {
    std::lock_guard lock(mutex_);
    mark_ = mark;
    resume_ = std::move(resume);
}

bool ByteQueue::feed(Bytes chunk) {
    bool served = false;
    bool goOn = true;
    {
        std::lock_guard lock(mutex_);
        if (end_) {
            return true;
        }
        if (!chunk.empty()) {
            unread_ += chunk.size();
            chunks_.push_back(std::move(chunk));
            served = serveWaiters();
        }
        if (unread_ >= mark_ && waiters_.empty()) {
            held_ = true;
        }
        goOn = !held_;
    }
    if (served) {
        wake_.notify_all();
    }
    return goOn;
}

void ByteQueue::finish() {
    {
        std::lock_guard lock(mutex_);
        if (end_) {
            return;
        }
        end_ = ByteIOErrorKind::endOfStream;
        serveWaiters();
    }
    wake_.notify_all();
}

void ByteQueue::close() noexcept {
    {
        std::lock_guard lock(mutex_);
        if (end_ == ByteIOErrorKind::closed) {
            return;
        }
        end_ = ByteIOErrorKind::closed;
        chunks_.clear();
        headOffset_ = 0;
        unread_ = 0;
        serveWaiters();
    }
    wake_.notify_all();
}

std::size_t ByteQueue::unreadByteCount() const {
    std::lock_guard lock(mutex_);
    return unread_;
}

std::size_t ByteQueue::parkedReaderCount() const {
    std::lock_guard lock(mutex_);
    return waiters_.size();
}

void ByteQueue::readInto(std::span<std::uint8_t> into, std::stop_token stop) {
    Waiter waiter;
    waiter.count = into.size();
    waiter.into = into;
    read(waiter, std::move(stop));
}

Bytes ByteQueue::readBytes(std::size_t count, std::stop_token stop) {
    Waiter waiter;
    waiter.count = count;
    read(waiter, std::move(stop));
    return std::move(waiter.bytes);
}

Bytes ByteQueue::readToEnd(std::stop_token stop) {
    Waiter waiter;
    read(waiter, std::move(stop));
    return std::move(waiter.bytes);
}

std::optional<Bytes> ByteQueue::readToEnd(std::size_t limit,
                                          std::chrono::steady_clock::time_point deadline,
                                          std::stop_token stop) {
    Waiter waiter;
    waiter.limit = limit;
    if (!read(waiter, std::move(stop), deadline) || waiter.overLimit) {
        return std::nullopt;
    }
    return std::move(waiter.bytes);
}

bool ByteQueue::read(Waiter& waiter, std::stop_token stop,
                     std::optional<std::chrono::steady_clock::time_point> deadline) {
    std::unique_lock lock(mutex_);
    if (end_ != ByteIOErrorKind::closed && stop.stop_requested()) {
        throw CancellationError();
    }
    if (!waiters_.empty() || !tryAnswer(waiter)) {
        waiters_.push_back(&waiter);
        // A reader that waits for more is no reason to hold the producer back.
        if (release(true)) {
            lock.unlock();
            resume_();
            lock.lock();
        }
        const auto answered = [&] { return waiter.answered; };
        if (!(deadline ? wake_.wait_until(lock, stop, *deadline, answered)
                       : wake_.wait(lock, stop, answered))) {
            // Cancelled or late while still parked: leave the queue and let the readers behind
            // move up.
            std::erase(waiters_, &waiter);
            const bool served = serveWaiters();
            lock.unlock();
            if (served) {
                wake_.notify_all();
            }
            if (stop.stop_requested()) {
                throw CancellationError();
            }
            return false;
        }
    }
    const bool resume = release(unread_ < mark_);
    lock.unlock();
    if (resume) {
        resume_();
    }
    if (waiter.failure) {
        throw ByteIOError(*waiter.failure);
    }
    return true;
}

bool ByteQueue::release(bool now) {
    if (!held_ || !now) {
        return false;
    }
    held_ = false;
    return true;
}

bool ByteQueue::tryAnswer(Waiter& waiter) {
    if (end_ == ByteIOErrorKind::closed) {
        waiter.failure = ByteIOErrorKind::closed;
    } else if (!waiter.count) {
        if (unread_ > waiter.limit) {
            waiter.overLimit = true;
        } else if (!end_) {
            return false;
        } else {
            take(unread_, waiter);
        }
    } else if (unread_ >= *waiter.count) {
        take(*waiter.count, waiter);
    } else if (!end_) {
        return false;
    } else {
        waiter.failure = ByteIOErrorKind::endOfStream;
    }
    waiter.answered = true;
    return true;
}

void ByteQueue::take(std::size_t count, Waiter& waiter) {
    if (!waiter.into.empty()) {
        auto at = waiter.into.begin();
        takeFront(count, [&](ByteView piece) { at = std::copy(piece.begin(), piece.end(), at); });
    } else if (headOffset_ == 0 && !chunks_.empty() && chunks_.front().size() == count) {
        waiter.bytes = std::move(chunks_.front());
        chunks_.pop_front();
        unread_ -= count;
    } else {
        // Filled from the chunks, never zero-filled first.
        waiter.bytes.reserve(count);
        takeFront(count, [&](ByteView piece) {
            waiter.bytes.insert(waiter.bytes.end(), piece.begin(), piece.end());
        });
    }
}

template <typename Sink>
void ByteQueue::takeFront(std::size_t count, Sink sink) {
    unread_ -= count;
    while (count > 0) {
        const Bytes& head = chunks_.front();
        const std::size_t n = std::min(count, head.size() - headOffset_);
        sink(ByteView(head).subspan(headOffset_, n));
        count -= n;
        headOffset_ += n;
        if (headOffset_ == head.size()) {
            chunks_.pop_front();
            headOffset_ = 0;
        }
    }
}

bool ByteQueue::serveWaiters() {
    bool any = false;
    while (!waiters_.empty() && tryAnswer(*waiters_.front())) {
        waiters_.pop_front();
        any = true;
    }
    return any;
}

}  // namespace qm
