#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "IPhoneMirror/CaptureDeviceSource.h"
#include "IPhoneMirror/IPhoneDevice.h"
#include "IPhoneMirror/TimerSource.h"

namespace qm {

// Keeps the list of attached iPhone screens current and reports each change. It refreshes when
// an input comes or goes, and polls for the first seconds after start(), while a device that was
// just plugged in is still being set up. Main thread only; nothing is called after stop() or
// destruction.
class IPhoneWatcher {
public:
    using ChangeHandler = std::function<void(const std::vector<IPhoneDevice>&)>;

    // Qt's video inputs, waits on a QTimer, the default filter.
    IPhoneWatcher();
    IPhoneWatcher(std::unique_ptr<CaptureDeviceSource> source, std::unique_ptr<OneShotTimer> timer,
                  VideoInputFilter offered = &IPhoneDevice::isIOSScreen);
    ~IPhoneWatcher();
    IPhoneWatcher(const IPhoneWatcher&) = delete;
    IPhoneWatcher& operator=(const IPhoneWatcher&) = delete;

    // Does nothing while started.
    void start();
    void stop();

    const std::vector<IPhoneDevice>& devices() const noexcept { return devices_; }

    // Called with the new list whenever it differs from the last one.
    ChangeHandler onChange;

private:
    static constexpr int pollPasses = 5;

    void poll();
    void refresh();

    std::unique_ptr<CaptureDeviceSource> source_;
    std::unique_ptr<OneShotTimer> timer_;
    VideoInputFilter offered_;
    std::vector<IPhoneDevice> devices_;
    bool started_ = false;
    int pollPassesLeft_ = 0;
};

}  // namespace qm
