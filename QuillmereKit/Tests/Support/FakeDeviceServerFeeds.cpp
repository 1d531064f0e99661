// The fake server's media: what it plays on the video and audio sockets.
#include <algorithm>

#include <fmt/format.h>

#include "QuillmereCore/HostClock.h"
#include "Support/FakeAdbDevice.h"
#include "Support/FakeDeviceServer.h"
#include "Support/FakeServerMedia.h"
#include "Support/MediaPackets.h"

namespace qm::test {

std::shared_ptr<const FakeVideoClip> FakeDeviceServer::videoClip(VideoCodec codec) const {
    const auto chosen = script_.videoClips.find(codec);
    return chosen != script_.videoClips.end() ? chosen->second : fakeVideoClip(codec);
}

std::optional<std::string> FakeDeviceServer::missingClip(VideoCodec codec) const {
    if (script_.flashPageDelay) {
        return std::nullopt;  // the flash page is drawn, not played
    }
    try {
        videoClip(codec);
        return std::nullopt;
    } catch (const std::exception& error) {
        return error.what();
    }
}

void FakeDeviceServer::feedOrDie(const std::function<void()>& feed) {
    try {
        feed();
    } catch (const std::exception& error) {
        // As a server that crashes: the host reads why and shows it, and the process lives on.
        die(fmt::format("[server] ERROR: {}\n", error.what()));
    }
}

bool FakeDeviceServer::isCurrent(std::size_t run, const std::stop_token& stop) const {
    return !stop.stop_requested() && run == run_ && state_ == State::running;
}

bool FakeDeviceServer::sendVideo(std::uint32_t hostID, const std::vector<StreamPacket>& packets,
                                 std::optional<StreamSession> session) {
    BinaryWriter out;
    if (session) {
        writeSession(out, *session);
    }
    for (const StreamPacket& packet : packets) {
        writePacket(out, packet);
    }
    const bool sent = adb_->sendOnStream(hostID, out.take());
    const std::uint64_t now = HostClock::nowNanos();
    std::lock_guard lock(mutex_);
    for (const StreamPacket& packet : packets) {
        videoSends_.push_back({packet.kind, packet.ptsMicros, now});
    }
    return sent;
}

std::int64_t FakeDeviceServer::phoneWallNanos(std::uint64_t hostNanos) {
    static const std::int64_t sinceHostClock =
        std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::system_clock::now().time_since_epoch())
            .count() -
        static_cast<std::int64_t>(HostClock::nowNanos());
    return static_cast<std::int64_t>(hostNanos) + sinceHostClock;
}

void FakeDeviceServer::showPage(const std::string& html) {
    std::lock_guard lock(mutex_);
    // A browser cannot run the script here; the page's own rule flashes in feedFlash.
    flashPageShown_ = html.find("Math.floor(Date.now()/500)%2") != std::string::npos;
}

void FakeDeviceServer::feedFlash(std::stop_token stop, std::uint32_t hostID, std::size_t run) {
    const std::shared_ptr<const FakeVideoClip> colours = fakeFlashColours();
    std::vector<StreamPacket> config;
    std::vector<const StreamPacket*> keys;  // grey, green, black
    for (const StreamPacket& packet : colours->packets) {
        if (packet.kind == StreamPacket::Kind::config) {
            config.push_back(packet);
        } else {
            keys.push_back(&packet);
        }
    }
    constexpr std::int64_t frameNanos = 1'000'000'000 / 60;
    constexpr std::int64_t periodNanos = 500'000'000;
    std::unique_lock lock(mutex_);
    if (parsed_.codec != VideoCodec::h264 || keys.size() != 3) {
        violation("the flash video is H.264 only");
        return;
    }
    const std::int64_t delayNanos =
        std::chrono::duration_cast<std::chrono::nanoseconds>(*script_.flashPageDelay).count();
    std::optional<StreamSession> session = StreamSession{colours->size, false};
    std::vector<StreamPacket> batch = config;
    auto next = static_cast<std::int64_t>(HostClock::nowNanos());
    while (isCurrent(run, stop)) {
        const auto now = static_cast<std::int64_t>(HostClock::nowNanos());
        if (now < next) {
            feedWake_.wait_until(
                lock, stop, std::chrono::steady_clock::now() + std::chrono::nanoseconds(next - now),
                [&] { return !isCurrent(run, stop); });
            continue;
        }
        // Frames never pile up behind a stall: one more than a frame late shows the page now.
        if (now - next > frameNanos) {
            next = now;
        }
        if (std::exchange(resetPending_, false)) {
            batch.insert(batch.end(), config.begin(), config.end());
        }
        // What the page showed `delay` ago: its rule on whole milliseconds is this on nanoseconds.
        const std::int64_t shownNanos =
            phoneWallNanos(static_cast<std::uint64_t>(next)) - delayNanos;
        const bool green = (shownNanos / periodNanos) % 2 == 1;
        StreamPacket& frame = batch.emplace_back(*keys[!flashPageShown_ ? 0 : green ? 1 : 2]);
        frame.ptsMicros = (next + script_.clockOffsetNanos) / 1000;
        std::int64_t following = next + frameNanos;
        if (flashPageShown_) {
            // The next flip reaches the screen `delay` after it happened.
            const std::int64_t flipNanos = (shownNanos / periodNanos + 1) * periodNanos;
            following = std::min(following, next + flipNanos - shownNanos);
        }
        next = following;
        lock.unlock();
        const bool sent = sendVideo(hostID, batch, std::exchange(session, std::nullopt));
        lock.lock();
        batch.clear();
        if (!sent) {
            return;
        }
    }
}

void FakeDeviceServer::feedVideo(std::stop_token stop, std::uint32_t hostID, std::size_t run) {
    std::unique_lock lock(mutex_);
    if (script_.flashPageDelay) {
        lock.unlock();
        feedFlash(stop, hostID, run);
        return;
    }
    const std::shared_ptr<const FakeVideoClip> clip = videoClip(parsed_.codec);
    const bool paced = script_.pacedVideo;
    const bool loop = paced && script_.loopVideo;
    const std::vector<StreamPacket>& packets = clip->packets;
    const auto firstKey = std::find_if(packets.begin(), packets.end(), [](const auto& packet) {
        return packet.kind == StreamPacket::Kind::keyFrame;
    });
    const std::chrono::nanoseconds frameTime =
        std::chrono::nanoseconds(std::chrono::seconds(1)) / clip->fps;
    std::optional<StreamSession> session = StreamSession{clip->size, false};
    std::int64_t frames = 0;
    std::int64_t shiftMicros = 0;
    if (script_.videoOnPhoneClock) {
        // Sent at once, the clip's first pass ends now on the phone's clock, as if it had been
        // capturing; paced, each frame is captured as it goes.
        const auto clipFrames = std::count_if(packets.begin(), packets.end(), [](const auto& p) {
            return p.kind != StreamPacket::Kind::config;
        });
        const auto phoneMicros =
            (static_cast<std::int64_t>(HostClock::nowNanos()) + script_.clockOffsetNanos) / 1000;
        shiftMicros = paced ? phoneMicros : phoneMicros - (clipFrames - 1) * 1'000'000 / clip->fps;
    }
    auto deadline = std::chrono::steady_clock::now();
    auto cursor = packets.begin();
    std::vector<StreamPacket> batch;
    // Frames are timed by their place in the stream, so times keep rising over loops.
    const auto take = [&](const StreamPacket& packet) {
        StreamPacket& sent = batch.emplace_back(packet);
        if (sent.kind != StreamPacket::Kind::config) {
            sent.ptsMicros = shiftMicros + frames++ * 1'000'000 / clip->fps;
        }
    };
    while (isCurrent(run, stop)) {
        batch.clear();
        if (resetPending_ && firstKey != packets.end()) {
            // A fresh encoder: its parameter sets and a key frame.
            resetPending_ = false;
            for (auto config = packets.begin(); config != firstKey; ++config) {
                if (config->kind == StreamPacket::Kind::config) {
                    take(*config);
                }
            }
            take(*firstKey);
            cursor = std::next(firstKey);
        } else if (cursor == packets.end() && loop) {
            cursor = packets.begin();
            continue;
        } else if (cursor == packets.end() ||
                   (paced && std::chrono::steady_clock::now() < deadline)) {
            const auto wake = [&] { return resetPending_ || !isCurrent(run, stop); };
            if (cursor == packets.end()) {
                feedWake_.wait(lock, stop, wake);
            } else {
                feedWake_.wait_until(lock, stop, deadline, wake);
            }
            continue;
        } else if (paced) {
            // Up to and with the next frame: config packets go with the frame they precede.
            while (cursor != packets.end() && cursor->kind == StreamPacket::Kind::config) {
                take(*cursor++);
            }
            if (cursor != packets.end()) {
                take(*cursor++);
            }
            deadline += frameTime;
        } else {
            while (cursor != packets.end()) {
                take(*cursor++);
            }
        }
        lock.unlock();
        const bool sent = sendVideo(hostID, batch, std::exchange(session, std::nullopt));
        lock.lock();
        if (!sent) {
            return;
        }
    }
}

void FakeDeviceServer::feedAudio(std::stop_token stop, std::uint32_t hostID, std::size_t run) {
    std::unique_lock lock(mutex_);
    BinaryWriter out;
    writeCodecID(out, script_.audioCodecID);
    const std::size_t garbage = script_.audioGarbage;
    const bool paced = script_.pacedAudio && garbage == 0;
    const bool loop = paced && script_.loopAudio && script_.audioPackets > 0;
    const std::vector<StreamPacket> packets =
        garbage > 0 ? std::vector<StreamPacket>() : fakeAudioPackets(script_.audioPackets);
    // Paced sound on the phone's clock is captured as it goes, as the video is.
    std::int64_t loopMicros =
        paced && script_.videoOnPhoneClock
            ? (static_cast<std::int64_t>(HostClock::nowNanos()) + script_.clockOffsetNanos) / 1000
            : 0;
    // All ones: a packet header whose size breaks every limit.
    out.bytes(Bytes(garbage, 0xFF));
    auto next = packets.begin();
    auto deadline = std::chrono::steady_clock::now();
    while (isCurrent(run, stop)) {
        if (paced && next != packets.end() && std::chrono::steady_clock::now() < deadline) {
            feedWake_.wait_until(lock, stop, deadline, [&] { return !isCurrent(run, stop); });
            continue;
        }
        do {
            if (next == packets.end() && loop) {
                next = packets.begin();
                loopMicros += static_cast<std::int64_t>(packets.size()) * 20000;
            }
            if (next != packets.end()) {
                StreamPacket packet = *next++;
                packet.ptsMicros =
                    packet.ptsMicros.value_or(0) + loopMicros + script_.soundStampShiftMicros;
                writePacket(out, packet);
            }
        } while (!paced && next != packets.end());
        deadline += std::chrono::milliseconds(20);
        lock.unlock();
        const bool sent = adb_->sendOnStream(hostID, out.take());
        lock.lock();
        if (!sent || (next == packets.end() && !loop)) {
            return;
        }
    }
}

}  // namespace qm::test
