#include "DeviceLink/StreamBuffer.h"

#include <algorithm>
#include <stdexcept>

namespace qm {

void StreamBuffer::append(Bytes data) {
    if (data.empty()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (end_) {
            return;
        }
        count_ += data.size();
        chunks_.push_back(std::move(data));
        if (!waiter_ || !tryAnswer(*waiter_)) {
            return;
        }
        waiter_ = nullptr;
    }
    wake_.notify_all();
}

void StreamBuffer::finish(ByteIOErrorKind end) {
    {
        std::lock_guard lock(mutex_);
        if (!end_ || end == ByteIOErrorKind::closed) {
            end_ = end;
        }
        if (end == ByteIOErrorKind::closed) {
            chunks_.clear();
            headOffset_ = 0;
            count_ = 0;
        }
        if (!waiter_) {
            return;
        }
        tryAnswer(*waiter_);  // every read can be answered once the stream has ended
        waiter_ = nullptr;
    }
    wake_.notify_all();
}

Bytes StreamBuffer::readExactly(std::size_t count) {
    if (count == 0) {
        return {};
    }
    Waiter waiter;
    waiter.count = count;
    wait(waiter);
    return std::move(waiter.bytes);
}

void StreamBuffer::readExactly(std::span<std::uint8_t> into) {
    if (into.empty()) {
        return;
    }
    Waiter waiter;
    waiter.count = into.size();
    waiter.into = into;
    wait(waiter);
}

Bytes StreamBuffer::readToEnd() {
    Waiter waiter;
    wait(waiter);
    return std::move(waiter.bytes);
}

void StreamBuffer::wait(Waiter& waiter) {
    std::unique_lock lock(mutex_);
    if (!tryAnswer(waiter)) {
        if (waiter_) {
            throw std::logic_error("StreamBuffer serves one waiting reader at a time");
        }
        waiter_ = &waiter;
        wake_.wait(lock, [&] { return waiter.answered; });
    }
    if (waiter.failure) {
        throw ByteIOError(*waiter.failure);
    }
}

bool StreamBuffer::tryAnswer(Waiter& waiter) {
    if (end_ == ByteIOErrorKind::closed) {
        waiter.failure = ByteIOErrorKind::closed;
    } else if (!waiter.count) {
        if (!end_) {
            return false;
        }
        take(count_, waiter);
    } else if (count_ >= *waiter.count) {
        take(*waiter.count, waiter);
    } else if (!end_) {
        return false;
    } else {
        waiter.failure = ByteIOErrorKind::endOfStream;
    }
    waiter.answered = true;
    return true;
}

void StreamBuffer::take(std::size_t count, Waiter& waiter) {
    if (!waiter.into.empty()) {
        copyFront(waiter.into);
    } else if (headOffset_ == 0 && !chunks_.empty() && chunks_.front().size() == count) {
        waiter.bytes = std::move(chunks_.front());
        chunks_.pop_front();
        count_ -= count;
    } else {
        waiter.bytes.resize(count);
        copyFront(waiter.bytes);
    }
}

void StreamBuffer::copyFront(std::span<std::uint8_t> into) {
    std::size_t done = 0;
    while (done < into.size()) {
        Bytes& head = chunks_.front();
        const std::size_t n = std::min(into.size() - done, head.size() - headOffset_);
        std::copy_n(head.begin() + static_cast<std::ptrdiff_t>(headOffset_), n,
                    into.begin() + static_cast<std::ptrdiff_t>(done));
        done += n;
        headOffset_ += n;
        if (headOffset_ == head.size()) {
            chunks_.pop_front();
            headOffset_ = 0;
        }
    }
    count_ -= into.size();
}

}  // namespace qm
