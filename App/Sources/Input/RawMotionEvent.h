#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace qm {

// XInput2 raw motion (XI_RawMotion), as libxcb hands it over: the 32-byte event, libxcb's
// 4-byte full sequence, then the valuator mask and two FP32.32 values per set bit (accelerated,
// then raw). Pure; any thread.
struct RawMotionEvent {
    // The device's own motion of valuators 0 and 1, before acceleration; y grows downwards.
    double dx = 0;
    double dy = 0;

    // libxcb's header size: the event's 32 bytes and the full sequence.
    static constexpr std::size_t headerSize = 36;

    // `bytes` is what is readable; the event says how much of it is its own. Nothing for
    // another event, or for one whose mask or values run past its length.
    static std::optional<RawMotionEvent> parse(std::span<const std::uint8_t> bytes,
                                               std::uint8_t xinputOpcode) noexcept;
    // The bytes the event in front of `header` claims, header included; at least headerSize.
    static std::size_t claimedSize(std::span<const std::uint8_t, headerSize> header) noexcept;

    bool operator==(const RawMotionEvent&) const = default;
};

}  // namespace qm
