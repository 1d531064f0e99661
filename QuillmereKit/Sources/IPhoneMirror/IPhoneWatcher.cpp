#include "IPhoneMirror/IPhoneWatcher.h"

#include <chrono>
#include <utility>

#include "IPhoneMirror/QtCaptureDeviceSource.h"

namespace qm {

IPhoneWatcher::IPhoneWatcher()
    : IPhoneWatcher(std::make_unique<QtCaptureDeviceSource>(), QtTimerSource().makeTimer()) {}

IPhoneWatcher::IPhoneWatcher(std::unique_ptr<CaptureDeviceSource> source,
                             std::unique_ptr<OneShotTimer> timer, VideoInputFilter offered)
    : source_(std::move(source)), timer_(std::move(timer)), offered_(std::move(offered)) {}

IPhoneWatcher::~IPhoneWatcher() {
    stop();
}

void IPhoneWatcher::start() {
    if (started_) {
        return;
    }
    started_ = true;
    ScreenCaptureDevices::enable();
    // One notice stands for both a connection and a disconnection.
    source_->onInputsChanged([this] { refresh(); });
    pollPassesLeft_ = pollPasses;
    poll();
}

void IPhoneWatcher::stop() {
    if (!started_) {
        return;
    }
    started_ = false;
    source_->onInputsChanged(nullptr);
    // Cancelling the wait, rather than letting it fail early, keeps the remaining passes from
    // running at once and reporting to an owner that may be gone.
    timer_->cancel();
    pollPassesLeft_ = 0;
}

void IPhoneWatcher::poll() {
    if (pollPassesLeft_ == 0) {
        return;
    }
    --pollPassesLeft_;
    // The wait is armed before the refresh so that a stop() from onChange cancels it.
    timer_->start(std::chrono::seconds(1), [this] { poll(); });
    refresh();
}

void IPhoneWatcher::refresh() {
    std::vector<IPhoneDevice> list = ScreenCaptureDevices::current(*source_, offered_);
    if (list == devices_) {
        return;
    }
    devices_ = std::move(list);
    if (onChange) {
        onChange(devices_);
    }
}

}  // namespace qm
