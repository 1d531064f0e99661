#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "Input/RawMouseArbiter.h"
#include "Input/RawMouseHub.h"

namespace qm {

// One stream window's subscriber to the raw mouse hub: active while the pointer is locked and
// raw input is enabled, it hands on raw deltas and tells the input capture which system
// motions to drop, as its arbiter decides. GUI thread only.
class RawMouseCapture {
public:
    using Clock = std::function<std::uint64_t()>;
    using Delta = std::function<void(double dx, double dy)>;

    // `onDelta` gets x to the right and y downwards. The hub must outlive the capture.
    RawMouseCapture(RawMouseHub& hub, Clock now, std::function<bool()> isEnabled, Delta onDelta);
    RawMouseCapture(const RawMouseCapture&) = delete;
    RawMouseCapture& operator=(const RawMouseCapture&) = delete;
    ~RawMouseCapture() { stop(); }

    void start();
    void stop();
    // After every change of the pointer lock and on every tick.
    void update(bool captured);
    // Asked for each system motion while locked: true when raw deltas own the motion.
    bool claimsSystemMove();

private:
    void rawMoved(float dx, float dy);
    bool enabled() const { return isActive_ && isEnabled_(); }

    RawMouseHub& hub_;
    Clock now_;
    std::function<bool()> isEnabled_;
    Delta onDelta_;
    std::optional<int> subscription_;
    bool isCaptured_ = false;
    bool isActive_ = false;
    RawMouseArbiter arbiter_;
    bool loggedFallback_ = false;
};

}  // namespace qm
