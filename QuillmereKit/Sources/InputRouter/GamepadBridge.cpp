#include "InputRouter/GamepadBridge.h"

#include <string>

#include "InputRouter/DS4.h"
#include "InputRouter/InputEvent.h"
#include "QuillmereCore/Log.h"

namespace qm {

void GamepadBridge::sendReport(const GamepadState& state, MessageList& out) {
    const DS4::InputReport report = DS4::inputReport(state, counter_);
    counter_ = static_cast<std::uint8_t>((counter_ + 1) & 63);
    lastSent_ = state;
    UhidInput& message = out.reuse<UhidInput>();
    message.id = deviceID;
    message.data.assign(report.begin(), report.end());
}

void GamepadBridge::enter(MessageList& out) {
    if (isCreated_) {
        return;
    }
    isCreated_ = true;
    lastSent_.reset();
    Log::input().info("mode {}: creating the virtual DualShock 4 on the phone",
                      rawValue(InputMode::macGamepad));
    const auto descriptor = DS4::reportDescriptor();
    out.push(UhidCreate{deviceID, DS4::vendorID, DS4::productID, std::string(DS4::name),
                        Bytes(descriptor.begin(), descriptor.end())});
    sendReport(GamepadState::neutral, out);
}

void GamepadBridge::update(const GamepadState& state, MessageList& out) {
    if (!isCreated_ || lastSent_ == state) {
        return;
    }
    sendReport(state, out);
}

void GamepadBridge::releaseAll(MessageList& out) {
    if (!isCreated_ || lastSent_ == GamepadState::neutral) {
        return;
    }
    sendReport(GamepadState::neutral, out);
}

void GamepadBridge::leave(MessageList& out) {
    if (!isCreated_) {
        return;
    }
    releaseAll(out);
    Log::input().info("mode {}: removing the virtual DualShock 4", rawValue(InputMode::macGamepad));
    isCreated_ = false;
    lastSent_.reset();
    out.push(UhidDestroy{deviceID});
}

}  // namespace qm
