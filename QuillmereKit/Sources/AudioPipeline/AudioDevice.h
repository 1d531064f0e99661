#pragma once

#include <functional>

namespace qm {

// A platform sound output that pulls interleaved float32 frames from a callback: SDL in the app,
// a fake in tests. `open` and `close` come from one thread at a time.
class AudioDevice {
public:
    // Fills `frames` interleaved frames at `into`, on the device's real-time thread: no
    // allocation, logging or lock other than the render core's.
    using Pull = std::function<void(float* into, int frames)>;
    // The output changed under the player: the open device went away, or an output appeared
    // while none is open (a headset plugged back in). Called on any thread, possibly the
    // device's own.
    using Changed = std::function<void()>;

    virtual ~AudioDevice() = default;

    // Set once, before the first `open`.
    virtual void setChangeHandler(Changed changed) = 0;
    // Opens the default output for `sampleRate` and `channels` and starts pulling; throws
    // AudioPlayerError::device with the platform's reason.
    virtual void open(int sampleRate, int channels, const Pull& pull) = 0;
    // Stops pulling, waiting for a pull under way; nothing when not open.
    virtual void close() noexcept = 0;
    // Closes and starts the platform's sound afresh, connecting to the sound server again: a
    // connection that a restarting server ended is never made again by itself. Throws
    // AudioPlayerError::device.
    virtual void reconnect() = 0;
};

}  // namespace qm
