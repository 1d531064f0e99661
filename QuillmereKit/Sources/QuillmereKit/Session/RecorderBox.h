#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

#include "Recorder/StreamRecorder.h"

namespace qm {

// The running recording, shared by the GUI thread that starts and ends it and the stream's
// readers that feed it. The lock covers a single read or swap, never a call into the recorder.
class RecorderBox {
public:
    std::shared_ptr<StreamRecorder> current() const {
        std::lock_guard lock(mutex_);
        return recorder_;
    }
    void set(std::shared_ptr<StreamRecorder> recorder) {
        std::lock_guard lock(mutex_);
        recorder_ = std::move(recorder);
    }
    // Exactly one caller gets a given recorder, and so finishes it.
    std::shared_ptr<StreamRecorder> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(recorder_, nullptr);
    }

    // Raw audio is arriving: a recording started now gets an audio track.
    bool audioFlowing() const {
        std::lock_guard lock(mutex_);
        return flowing_;
    }
    // What a stream's audio reader reports with: a reader outliving its stream's teardown
    // holds a stale ticket, and changes nothing.
    std::uint64_t audioTicket() const {
        std::lock_guard lock(mutex_);
        return audioTicket_;
    }
    void setAudioFlowing(std::uint64_t ticket, bool flowing) {
        std::lock_guard lock(mutex_);
        if (ticket == audioTicket_) {
            flowing_ = flowing;
        }
    }
    // The stream's teardown: no audio, and no reader issued a ticket before may say otherwise.
    void endAudio() {
        std::lock_guard lock(mutex_);
        ++audioTicket_;
        flowing_ = false;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<StreamRecorder> recorder_;
    bool flowing_ = false;
    std::uint64_t audioTicket_ = 0;
};

}  // namespace qm
