#include "FakeAudioDevice.h"

#include <cmath>

#include "AudioPipeline/AudioPlayerError.h"

namespace qm::test {

void FakeAudioDevice::setChangeHandler(Changed changed) {
    std::lock_guard lock(mutex_);
    if (opens_ > 0) {
        violations_.push_back("change handler set after the first open");
    }
    changed_ = std::move(changed);
}

void FakeAudioDevice::open(int sampleRate, int channels, const Pull& pull) {
    std::lock_guard lock(mutex_);
    ++opens_;
    if (isOpen_) {
        violations_.push_back("opened while open");
    }
    if (!failure_.empty()) {
        throw AudioPlayerError::device(failure_);
    }
    if (connectedRun_ != serverRun_) {
        throw AudioPlayerError::device("connection to the sound server ended");
    }
    sampleRate_ = sampleRate;
    channels_ = channels;
    pull_ = pull;
    isOpen_ = true;
}

void FakeAudioDevice::close() noexcept {
    std::lock_guard lock(mutex_);
    isOpen_ = false;
    pull_ = nullptr;
}

void FakeAudioDevice::reconnect() {
    std::lock_guard lock(mutex_);
    ++reconnects_;
    isOpen_ = false;
    pull_ = nullptr;
    if (!serverRuns_) {
        throw AudioPlayerError::device("no sound server");
    }
    connectedRun_ = serverRun_;
}

void FakeAudioDevice::stopServer() {
    Changed changed;
    {
        std::lock_guard lock(mutex_);
        serverRuns_ = false;
        ++serverRun_;
        if (isOpen_) {
            changed = changed_;
        }
    }
    if (changed) {
        changed();
    }
}

void FakeAudioDevice::startServer() {
    std::lock_guard lock(mutex_);
    serverRuns_ = true;
}

std::vector<float> FakeAudioDevice::pull(int frames) {
    std::lock_guard lock(mutex_);
    if (!isOpen_) {
        return {};
    }
    std::vector<float> block(static_cast<std::size_t>(frames * channels_), NAN);
    pull_(block.data(), frames);
    return block;
}

void FakeAudioDevice::lose() {
    Changed changed;
    {
        std::lock_guard lock(mutex_);
        if (!isOpen_) {
            violations_.push_back("a closed device reported lost");
            return;
        }
        changed = changed_;
    }
    changed();
}

void FakeAudioDevice::plugIn() {
    Changed changed;
    {
        std::lock_guard lock(mutex_);
        if (isOpen_) {
            return;
        }
        changed = changed_;
    }
    changed();
}

void FakeAudioDevice::failOpens(std::string reason) {
    std::lock_guard lock(mutex_);
    failure_ = std::move(reason);
}

bool FakeAudioDevice::isOpen() const {
    std::lock_guard lock(mutex_);
    return isOpen_;
}

int FakeAudioDevice::opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

int FakeAudioDevice::reconnects() const {
    std::lock_guard lock(mutex_);
    return reconnects_;
}

int FakeAudioDevice::sampleRate() const {
    std::lock_guard lock(mutex_);
    return sampleRate_;
}

int FakeAudioDevice::channels() const {
    std::lock_guard lock(mutex_);
    return channels_;
}

std::vector<std::string> FakeAudioDevice::violations() const {
    std::lock_guard lock(mutex_);
    return violations_;
}

}  // namespace qm::test
