#include "ServerProtocol/ServerLogChannel.h"

#include <array>

#include <pthread.h>

#include "QuillmereCore/ThreadPriority.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm {

ServerLogChannel::ServerLogChannel(std::shared_ptr<ByteChannel> raw)
    : raw_(std::move(raw)), reader_([this] { mirror(); }) {}

ServerLogChannel::~ServerLogChannel() {
    raw_->close();
}

std::optional<std::string> ServerLogChannel::finishedOutput() const {
    std::lock_guard lock(mutex_);
    if (!finished_) {
        return std::nullopt;
    }
    return UnicodeText::decodeUTF8(captured_);
}

std::string ServerLogChannel::outputSoFar() const {
    std::lock_guard lock(mutex_);
    return UnicodeText::decodeUTF8(captured_);
}

std::string ServerLogChannel::outputAfterExit(std::chrono::nanoseconds timeout) const {
    std::unique_lock lock(mutex_);
    finishedChanged_.wait_for(lock, timeout, [this] { return finished_; });
    return UnicodeText::decodeUTF8(captured_);
}

void ServerLogChannel::write(ByteView data) {
    raw_->write(data);
}

void ServerLogChannel::close() noexcept {
    raw_->close();
}

void ServerLogChannel::readInto(std::span<std::uint8_t> into, std::stop_token stop) {
    mirror_.readExactly(into, std::move(stop));
}

void ServerLogChannel::mirror() {
    pthread_setname_np(pthread_self(), "server.output");
    lowerCurrentThread();  // the server's output is read as it comes, but nobody waits for it
    // One byte at a time: the server prints a line and then waits, so a larger read would hold
    // its last words back until it printed more.
    std::array<std::uint8_t, 1> byte{};
    try {
        for (;;) {
            raw_->readExactly(byte);
            mirror_.feed(byte);
            std::lock_guard lock(mutex_);
            if (captured_.size() < capturedLimit) {
                captured_.push_back(byte[0]);
            }
        }
    } catch (const std::exception&) {
        // The end of the output, or the stream was closed: either way the server is done.
    }
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    finishedChanged_.notify_all();
    // After `finished_`, so that a reader who sees the mirror end also sees the output.
    mirror_.finish();
}

}  // namespace qm
