#include "Support/FakeControlReader.h"

#include <fmt/format.h>

#include "QuillmereCore/BinaryWriter.h"

namespace qm::test {

namespace {

// Reads big-endian fields from the pending bytes; `ok` turns false once they run out.
struct Cursor {
    ByteView bytes;
    std::size_t at = 0;
    bool ok = true;

    std::uint64_t take(std::size_t width) {
        if (!ok || bytes.size() - at < width) {
            ok = false;
            return 0;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            value = (value << 8) | bytes[at++];
        }
        return value;
    }
    std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::int32_t i32() { return static_cast<std::int32_t>(take(4)); }
    std::uint64_t u64() { return take(8); }
    Bytes block(std::size_t count) {
        if (!ok || bytes.size() - at < count) {
            ok = false;
            return {};
        }
        at += count;
        return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at - count),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at));
    }
    std::string text(std::size_t count) {
        const Bytes raw = block(count);
        return std::string(raw.begin(), raw.end());
    }
    DevicePosition position() {
        DevicePosition p;
        p.x = i32();
        p.y = i32();
        p.screenWidth = u16();
        p.screenHeight = u16();
        return p;
    }
};

template <typename Action>
Action action(Cursor& in, std::optional<std::string>& error) {
    const std::uint8_t raw = in.u8();
    const auto value = fromRawValue<Action>(raw);
    if (in.ok && !value) {
        error = fmt::format("control action {} is unknown", raw);
    }
    return value.value_or(Action{});
}

// One message from the front of `in`, or none when it is not complete yet or is broken.
std::optional<ControlMessage> parse(Cursor& in, std::optional<std::string>& error) {
    const std::uint8_t type = in.u8();
    ControlMessage message;
    switch (type) {
        case 0: {
            InjectKeycode m;
            m.action = action<KeyAction>(in, error);
            m.keycode = in.i32();
            m.repeatCount = in.i32();
            m.metaState = in.i32();
            message = m;
            break;
        }
        case 2: {
            InjectTouch m;
            m.action = action<MotionAction>(in, error);
            m.pointerID = in.u64();
            m.position = in.position();
            const std::uint16_t pressure = in.u16();
            m.pressure = pressure == 0xFFFF ? 1.0f : static_cast<float>(pressure) / 65536.0f;
            m.actionButton = in.i32();
            m.buttons = in.i32();
            message = m;
            break;
        }
        case 3: {
            InjectScroll m;
            m.position = in.position();
            m.horizontal = static_cast<float>(in.i16()) / 2048.0f;
            m.vertical = static_cast<float>(in.i16()) / 2048.0f;
            m.buttons = in.i32();
            message = m;
            break;
        }
        case 4:
            message = BackOrScreenOn{action<KeyAction>(in, error)};
            break;
        case 10: {
            const std::uint8_t on = in.u8();
            if (in.ok && on > 1) {
                error = fmt::format("display power {}", on);
            }
            message = SetDisplayPower{on == 1};
            break;
        }
        case 12: {
            UhidCreate m;
            m.id = in.u16();
            m.vendorID = in.u16();
            m.productID = in.u16();
            m.name = in.text(in.u8());
            m.reportDescriptor = in.block(in.u16());
            message = m;
            break;
        }
        case 13: {
            UhidInput m;
            m.id = in.u16();
            m.data = in.block(in.u16());
            message = m;
            break;
        }
        case 14:
            message = UhidDestroy{in.u16()};
            break;
        case 16:
            message = StartApp{in.text(in.u8())};
            break;
        case 17:
            message = ResetVideo{};
            break;
        default:
            error = fmt::format("unknown control message type {}", type);
            return std::nullopt;
    }
    if (!in.ok || error) {
        return std::nullopt;
    }
    return message;
}

}  // namespace

std::vector<ControlMessage> FakeControlReader::take(ByteView data,
                                                    std::optional<std::string>& error) {
    std::vector<ControlMessage> out;
    if (broken_) {
        return out;
    }
    pending_.insert(pending_.end(), data.begin(), data.end());
    std::size_t used = 0;
    while (used < pending_.size()) {
        Cursor in{ByteView(pending_).subspan(used)};
        std::optional<ControlMessage> message = parse(in, error);
        if (error) {
            broken_ = true;
            break;
        }
        if (!message) {
            break;  // the rest has not arrived yet
        }
        out.push_back(std::move(*message));
        used += in.at;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
    return out;
}

Bytes encodeDeviceMessage(const DeviceMessage& message) {
    BinaryWriter out;
    if (const auto* clipboard = std::get_if<Clipboard>(&message)) {
        out.u8(0);
        out.lengthPrefixed(asBytes(clipboard->text), 4);
    } else if (const auto* ack = std::get_if<AckClipboard>(&message)) {
        out.u8(1);
        out.u64(ack->sequence);
    } else {
        const auto& uhid = std::get<UhidOutput>(message);
        out.u8(2);
        out.u16(uhid.id);
        out.lengthPrefixed(uhid.data, 2);
    }
    return out.take();
}

}  // namespace qm::test
