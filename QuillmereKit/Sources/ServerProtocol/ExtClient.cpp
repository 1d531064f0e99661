#include "ServerProtocol/ExtClient.h"

#include <optional>

#include <fmt/format.h>
#include <pthread.h>

#include "QuillmereCore/Log.h"
#include "ServerProtocol/ExtCodec.h"
#include "ServerProtocol/ServerOptions.h"

namespace qm {

ExtClientError ExtClientError::versionMismatch(std::uint16_t server) {
    return ExtClientError(Kind::versionMismatch,
                          fmt::format("the phone speaks extension protocol {}, not {}", server,
                                      ServerVersion::extProtocol),
                          fmt::format("versionMismatch({})", server), server);
}

ExtClientError ExtClientError::serverError(const std::string& text) {
    return ExtClientError(Kind::serverError, text, caseWithText("serverError", text));
}

ExtClientError ExtClientError::unexpected(const std::string& description) {
    return ExtClientError(Kind::unexpected, description, caseWithText("unexpected", description));
}

ExtClientError ExtClientError::timeout() {
    return ExtClientError(Kind::timeout, "the phone did not answer the extension hello in time",
                          "timeout");
}

ExtClient::ExtClient(std::shared_ptr<ByteChannel> channel)
    : channel_(std::move(channel)), writer_([this] { runWriter(); }) {}

ExtClient::~ExtClient() {
    close();
}

void ExtClient::send(const ExtMessage& message) {
    if (closed_.load()) {
        return;
    }
    Bytes frame = ExtCodec::encode(message);
    {
        std::lock_guard lock(mutex_);
        if (outboxFinished_) {
            return;
        }
        // A backed-up channel loses its oldest frames, never parts of one.
        if (outbox_.size() == maxQueuedFrames) {
            outbox_.pop_front();
        }
        outbox_.push_back(std::move(frame));
    }
    wake_.notify_one();
}

ExtMessage ExtClient::next(std::stop_token stop) {
    return ExtCodec::next(*channel_, std::move(stop));
}

ExtHello ExtClient::handshake(std::chrono::nanoseconds timeout, const TaskClock& clock,
                              std::stop_token stop) {
    ExtHello hello;
    hello.hostSendNanos = clock.nowNanos();
    send(ext::Hello{ServerVersion::extProtocol});

    std::atomic<bool> timedOut{false};
    std::optional<ExtMessage> reply;
    std::exception_ptr failure;
    {
        std::jthread timer([&](std::stop_token timerStop) {
            pthread_setname_np(pthread_self(), "ext.timeout");
            clock.sleep(timeout, timerStop);
            if (!timerStop.stop_requested()) {
                timedOut = true;
                channel_->close();  // ends the pending read
            }
        });
        try {
            reply = next(std::move(stop));
        } catch (...) {
            failure = std::current_exception();
        }
        timer.request_stop();
    }
    // The time-out wins a tie: once the channel was closed for it, a reply does not count.
    if (timedOut) {
        throw ExtClientError::timeout();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    hello.macReceiveNanos = clock.nowNanos();

    if (const auto* ack = std::get_if<ext::HelloAck>(&*reply)) {
        if (ack->version != ServerVersion::extProtocol) {
            throw ExtClientError::versionMismatch(ack->version);
        }
        hello.version = ack->version;
        hello.phoneMonotonicNanos = ack->phoneMonotonicNanos;
        hello.phoneWallMillis = ack->phoneWallMillis;
        return hello;
    }
    if (const auto* error = std::get_if<ext::Error>(&*reply)) {
        throw ExtClientError::serverError(error->text);
    }
    throw ExtClientError::unexpected("expected helloAck, got " + describe(*reply));
}

void ExtClient::close() noexcept {
    closed_ = true;
    {
        std::lock_guard lock(mutex_);
        outboxFinished_ = true;
    }
    wake_.notify_one();
    channel_->close();
}

void ExtClient::runWriter() {
    pthread_setname_np(pthread_self(), "ext.write");
    for (;;) {
        Bytes frame;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !outbox_.empty() || outboxFinished_; });
            if (outbox_.empty()) {
                break;
            }
            frame = std::move(outbox_.front());
            outbox_.pop_front();
        }
        try {
            channel_->write(frame);
        } catch (const std::exception& error) {
            Log::ext().error("ext write failed: {}", error.what());
            std::lock_guard lock(mutex_);
            outbox_.clear();
            outboxFinished_ = true;
            break;
        }
    }
    closed_ = true;
}

}  // namespace qm
