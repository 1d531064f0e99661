#pragma once

#include <cstdint>
#include <optional>

#include "InputRouter/Gamepad.h"
#include "InputRouter/MessageList.h"

namespace qm {

// Hands this computer's controller to the phone as a virtual DS4: creates the device, sends a
// report only when the state changed, numbers the reports and removes the device. Every
// operation appends the messages to send, in order, to `out`.
class GamepadBridge {
public:
    static constexpr std::uint16_t deviceID = 1;

    // Creates the device and sends a neutral report; nothing when it exists already.
    void enter(MessageList& out);
    void update(const GamepadState& state, MessageList& out);
    // Lets go of every stick, trigger and button on the phone.
    void releaseAll(MessageList& out);
    // Releases, then removes the device; the report numbering continues on the next enter.
    void leave(MessageList& out);

    bool isCreated() const noexcept { return isCreated_; }

private:
    void sendReport(const GamepadState& state, MessageList& out);

    bool isCreated_ = false;
    std::uint8_t counter_ = 0;              // of the next report, 0...63
    std::optional<GamepadState> lastSent_;  // since the device was created
};

}  // namespace qm
