#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "QuillmereCore/Bytes.h"
#include "Telemetry/FlashClock.h"

namespace qm {

// What a flash test needs of the stream it measures and of the phone behind it: the app fills
// it from the session and the device link the test starts with. GUI thread, except the phone's
// calls.
class FlashTestTarget {
public:
    // The phone's connection. Both calls block: a worker thread makes them.
    class Phone {
    public:
        virtual ~Phone() = default;
        virtual void push(ByteView data, const std::string& path, std::uint32_t mode) = 0;
        // Runs a command in the phone's shell and returns its output.
        virtual std::string shell(const std::string& command) = 0;
    };

    virtual ~FlashTestTarget() = default;

    // None without the extension channel's handshake and a clock offset.
    virtual std::optional<FlashClock> flashClock() const = 0;
    // The stream's own latency figure, when it has one.
    virtual std::optional<double> latencyMillis() const = 0;
    // None when no phone is connected.
    virtual std::shared_ptr<Phone> phone() const = 0;
};

}  // namespace qm
