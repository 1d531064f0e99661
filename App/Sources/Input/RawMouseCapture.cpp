#include "Input/RawMouseCapture.h"

#include <utility>

#include "QuillmereCore/Log.h"

namespace qm {

RawMouseCapture::RawMouseCapture(RawMouseHub& hub, Clock now, std::function<bool()> isEnabled,
                                 Delta onDelta)
    : hub_(hub),
      now_(std::move(now)),
      isEnabled_(std::move(isEnabled)),
      onDelta_(std::move(onDelta)) {}

void RawMouseCapture::start() {
    if (!subscription_) {
        subscription_ = hub_.subscribe([this](float dx, float dy) { rawMoved(dx, dy); });
    }
}

void RawMouseCapture::stop() {
    if (!subscription_) {
        return;
    }
    hub_.unsubscribe(*std::exchange(subscription_, std::nullopt));
    isCaptured_ = false;
    isActive_ = false;
}

void RawMouseCapture::update(bool captured) {
    if (!captured) {
        isCaptured_ = false;
        if (isActive_ && subscription_) {
            isActive_ = false;
            hub_.setActive(false, *subscription_);
        }
        return;
    }
    if (!isCaptured_) {
        arbiter_.captureBegan();
    }
    isCaptured_ = true;
    if (subscription_) {
        if (const bool enabled = isEnabled_(); enabled != isActive_) {
            isActive_ = enabled;
            hub_.setActive(enabled, *subscription_);
        }
    }
}

void RawMouseCapture::rawMoved(float dx, float dy) {
    if (enabled() && arbiter_.rawMoved(now_())) {
        onDelta_(double(dx), -double(dy));
    }
}

bool RawMouseCapture::claimsSystemMove() {
    if (!enabled()) {
        return false;
    }
    const bool systemUsed = arbiter_.systemMoved(now_());
    if (systemUsed && arbiter_.mode == RawMouseArbiter::Mode::fellBack && !loggedFallback_) {
        loggedFallback_ = true;
        Log::input().info("raw mouse: pointer moves without XInput2 deltas, using pointer deltas");
    }
    return !systemUsed;
}

}  // namespace qm
