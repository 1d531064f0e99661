#include "ServerProtocol/ControlOutbox.h"

#include <algorithm>
#include <utility>

#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/Log.h"
#include "ServerProtocol/ControlMessageEncoder.h"

namespace qm {

ControlOutbox::ControlOutbox(std::size_t limit, std::function<void()> wedged)
    : limit_(limit), wedged_(std::move(wedged)) {}

void ControlOutbox::send(ControlMessage message) {
    bool wake = false;
    bool wedged = false;
    Batch dropped;
    {
        std::lock_guard lock(mutex_);
        if (finished_) {
            return;
        }
        pending_.push_back(std::move(message));
        if (pending_.size() > limit_) {
            // Superseded moves give way before the socket counts as wedged.
            coalesce(pending_);
            wedged = pending_.size() > limit_;
        }
        if (wedged) {
            finished_ = wake = true;
            dropped = std::exchange(pending_, {});
        } else {
            wake = writerWaiting_ && pending_.size() == 1;
        }
    }
    if (wake) {
        wake_.notify_all();
    }
    if (wedged) {
        Log::server().error("control socket wedged: {} input messages unsent", dropped.size());
        if (wedged_) {
            wedged_();
        }
    }
}

bool ControlOutbox::next(Batch& batch, std::stop_token stop) {
    batch.clear();
    std::unique_lock lock(mutex_);
    writerWaiting_ = true;
    wake_.wait(lock, stop, [this] { return !pending_.empty() || finished_; });
    writerWaiting_ = false;
    if (pending_.empty()) {
        return false;
    }
    // The emptied batch becomes the new pending list, so steady traffic allocates nothing.
    std::swap(batch, pending_);
    return true;
}

void ControlOutbox::finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    wake_.notify_all();
}

void ControlOutbox::writeAll(ByteSink& sink, std::stop_token stop) {
    // Kept between batches, so steady input allocates nothing.
    Batch batch;
    BinaryWriter bytes;
    try {
        while (next(batch, stop)) {
            coalesce(batch);
            bytes.clear();
            encode(batch, bytes);
            sink.write(bytes.data());
        }
    } catch (...) {
        ended();
        throw;
    }
    ended();
}

void ControlOutbox::ended() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    wake_.notify_all();
    written_.request_stop();
}

bool ControlOutbox::waitWritten(std::chrono::nanoseconds limit, const TaskClock& clock) {
    // The writer's end cuts the sleep short.
    clock.sleep(limit, written_.get_token());
    return written_.stop_requested();
}

void ControlOutbox::coalesce(Batch& batch) {
    if (batch.size() < 2) {
        return;
    }
    // Walking backwards, a move is superseded when its pointer already has a later move with no
    // press or release in between. Kept messages are packed towards the end, then shifted down.
    thread_local std::vector<std::uint64_t> movedLater;
    movedLater.clear();
    std::size_t write = batch.size();
    for (std::size_t read = batch.size(); read-- > 0;) {
        if (const auto* touch = std::get_if<InjectTouch>(&batch[read])) {
            const auto seen = std::find(movedLater.begin(), movedLater.end(), touch->pointerID);
            if (touch->action != MotionAction::move) {
                if (seen != movedLater.end()) {
                    *seen = movedLater.back();
                    movedLater.pop_back();
                }
            } else if (seen != movedLater.end()) {
                continue;
            } else {
                movedLater.push_back(touch->pointerID);
            }
        }
        if (--write != read) {
            batch[write] = std::move(batch[read]);
        }
    }
    batch.erase(batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(write));
}

void ControlOutbox::encode(std::span<const ControlMessage> batch, BinaryWriter& into) {
    for (const ControlMessage& message : batch) {
        try {
            ControlMessageEncoder::encode(message, into);
        } catch (const BinaryError& error) {
            Log::server().error("control message dropped: {}", error.what());
        }
    }
}

Bytes ControlOutbox::encode(std::span<const ControlMessage> batch) {
    BinaryWriter writer;
    encode(batch, writer);
    return writer.take();
}

}  // namespace qm
