#include "ServerProtocol/ControlMessageEncoder.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "QuillmereCore/BinaryError.h"

namespace qm::ControlMessageEncoder {

namespace {

enum class Type : std::uint8_t {
    injectKeycode = 0,
    injectTouch = 2,
    injectScroll = 3,
    backOrScreenOn = 4,
    setDisplayPower = 10,
    uhidCreate = 12,
    uhidInput = 13,
    uhidDestroy = 14,
    startApp = 16,
    resetVideo = 17,
};

// A wrapped length would make the phone read the following messages as payload.
void checkUhidPayload(std::string_view what, std::size_t size) {
    if (size > maxUhidPayloadBytes) {
        throw BinaryError::invalid(
            fmt::format("uhid {} of {} bytes exceeds {}", what, size, maxUhidPayloadBytes));
    }
}

struct Writer {
    BinaryWriter& out;

    void type(Type value) { out.u8(static_cast<std::uint8_t>(value)); }

    void position(const DevicePosition& p) {
        out.i32(p.x);
        out.i32(p.y);
        out.u16(p.screenWidth);
        out.u16(p.screenHeight);
    }

    void operator()(const InjectKeycode& m) {
        type(Type::injectKeycode);
        out.u8(rawValue(m.action));
        out.i32(m.keycode);
        out.i32(m.repeatCount);
        out.i32(m.metaState);
    }

    void operator()(const InjectTouch& m) {
        type(Type::injectTouch);
        out.u8(rawValue(m.action));
        out.u64(m.pointerID);
        position(m.position);
        out.u16(unsignedFixedPoint16(m.pressure));
        out.i32(m.actionButton);
        out.i32(m.buttons);
    }

    void operator()(const InjectScroll& m) {
        type(Type::injectScroll);
        position(m.position);
        // The wire carries -16 to 16 scroll units.
        out.i16(signedFixedPoint16(m.horizontal * 0.0625f));
        out.i16(signedFixedPoint16(m.vertical * 0.0625f));
        out.i32(m.buttons);
    }

    void operator()(const BackOrScreenOn& m) {
        type(Type::backOrScreenOn);
        out.u8(rawValue(m.action));
    }

    void operator()(const SetDisplayPower& m) {
        type(Type::setDisplayPower);
        out.u8(m.on ? 1 : 0);
    }

    void operator()(const UhidCreate& m) {
        checkUhidPayload("report descriptor", m.reportDescriptor.size());
        type(Type::uhidCreate);
        out.u16(m.id);
        out.u16(m.vendorID);
        out.u16(m.productID);
        out.lengthPrefixed(utf8Prefix(m.name, maxUhidNameBytes), 1);
        out.lengthPrefixed(m.reportDescriptor, 2);
    }

    void operator()(const UhidInput& m) {
        checkUhidPayload("input report", m.data.size());
        type(Type::uhidInput);
        out.u16(m.id);
        out.lengthPrefixed(m.data, 2);
    }

    void operator()(const UhidDestroy& m) {
        type(Type::uhidDestroy);
        out.u16(m.id);
    }

    void operator()(const StartApp& m) {
        type(Type::startApp);
        out.lengthPrefixed(utf8Prefix(m.packageName, maxPackageNameBytes), 1);
    }

    void operator()(const ResetVideo&) { type(Type::resetVideo); }
};

}  // namespace

Bytes encode(const ControlMessage& message) {
    BinaryWriter writer;
    encode(message, writer);
    return writer.take();
}

void encode(const ControlMessage& message, BinaryWriter& into) {
    std::visit(Writer{into}, message);
}

std::uint16_t unsignedFixedPoint16(float value) noexcept {
    if (std::isnan(value) || value <= 0) {
        return 0;
    }
    const auto scaled = static_cast<std::uint32_t>(std::min(value, 1.0f) * 65536.0f);
    return static_cast<std::uint16_t>(std::min<std::uint32_t>(scaled, 0xFFFF));
}

std::int16_t signedFixedPoint16(float value) noexcept {
    if (std::isnan(value)) {
        return 0;
    }
    if (value <= -1) {
        return INT16_MIN;
    }
    const auto scaled = static_cast<std::int32_t>(std::min(value, 1.0f) * 32768.0f);
    return static_cast<std::int16_t>(std::min<std::int32_t>(scaled, INT16_MAX));
}

ByteView utf8Prefix(std::string_view text, std::size_t maxBytes) noexcept {
    const ByteView bytes = asBytes(text);
    if (bytes.size() <= maxBytes) {
        return bytes;
    }
    std::size_t cut = maxBytes;
    // Back up over continuation bytes (10xxxxxx) to the start of the character that overflows.
    while (cut > 0 && (bytes[cut] & 0xC0) == 0x80) {
        --cut;
    }
    return bytes.first(cut);
}

}  // namespace qm::ControlMessageEncoder
