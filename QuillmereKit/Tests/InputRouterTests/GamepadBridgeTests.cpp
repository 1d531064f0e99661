#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "InputRouter/DS4.h"
#include "InputRouter/GamepadBridge.h"
#include "Messages.h"

namespace qm {
namespace {

using Messages = std::vector<ControlMessage>;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

DS4::InputReport neutralReportBytes() {
    DS4::InputReport r{};
    r[0] = 1;
    r[1] = r[2] = r[3] = r[4] = 128;
    r[5] = 8;
    r[30] = 0x1B;
    r[33] = 1;
    for (std::size_t i : {35, 39, 44, 48, 53, 57}) {
        r[i] = 0x80;
    }
    return r;
}

GamepadState withButtons(GamepadButtons buttons) {
    GamepadState state;
    state.buttons = buttons;
    return state;
}

std::uint8_t hatOf(GamepadButtons buttons) {
    return DS4::inputReport(withButtons(buttons), 0)[5] & 0x0F;
}

TEST(DS4, IdentityAndDescriptor) {
    EXPECT_EQ(DS4::vendorID, 0x054C);
    EXPECT_EQ(DS4::productID, 0x09CC);
    EXPECT_EQ(DS4::name.size(), 50u);
    // The descriptor as it is published, row by row.
    const std::string rows =
        "05 01 09 05 A1 01 85 01 09 30 09 31 09 32 09 35 "
        "15 00 26 FF 00 75 08 95 04 81 02 09 39 15 00 25 "
        "07 35 00 46 3B 01 65 14 75 04 95 01 81 42 65 00 "
        "45 00 05 09 19 01 29 0E 15 00 25 01 75 01 95 0E "
        "81 02 06 00 FF 09 20 75 06 95 01 25 3F 81 02 05 "
        "01 09 33 09 34 26 FF 00 75 08 95 02 81 02 06 00 "
        "FF 09 21 95 36 81 02 85 05 09 22 95 1F 91 02 85 "
        "02 09 24 95 24 B1 02 85 12 09 25 95 0F B1 02 85 "
        "81 09 26 95 06 B1 02 85 A3 09 27 95 30 B1 02 C0";
    Bytes expected;
    std::istringstream stream(rows);
    unsigned byte = 0;
    while (stream >> std::hex >> byte) {
        expected.push_back(static_cast<std::uint8_t>(byte));
    }
    ASSERT_EQ(expected.size(), 144u);
    const auto d = DS4::reportDescriptor();
    EXPECT_EQ(Bytes(d.begin(), d.end()), expected);
}

TEST(DS4, AxesRoundAndClampWithNaNCentred) {
    GamepadState s;
    s.leftStick = {1, -1};
    s.rightStick = {2.0, -3.0};
    const auto r = DS4::inputReport(s, 0);
    EXPECT_EQ(r[1], 255);
    EXPECT_EQ(r[2], 0);
    EXPECT_EQ(r[3], 255);
    EXPECT_EQ(r[4], 0);
    s.leftStick = {nan, 0.5};       // 0.5 → 191.25
    s.rightStick = {-0.5, 0.0039};  // -0.5 → 63.75; 0.0039 → 127.997
    const auto r2 = DS4::inputReport(s, 0);
    EXPECT_EQ(r2[1], 128);
    EXPECT_EQ(r2[2], 191);
    EXPECT_EQ(r2[3], 64);
    EXPECT_EQ(r2[4], 128);
}

TEST(DS4, TriggersFallBackToTheirDigitalButtons) {
    GamepadState s;
    s.leftTrigger = 0.5;
    auto r = DS4::inputReport(s, 0);
    EXPECT_EQ(r[8], 128);
    EXPECT_EQ(r[6] & 0x04, 0x04);
    s.leftTrigger = 0;
    s.buttons = GamepadButtons::l2;
    r = DS4::inputReport(s, 0);
    EXPECT_EQ(r[8], 255);
    EXPECT_EQ(r[6] & 0x04, 0x04);
    s.leftTrigger = 0.001;
    s.buttons = {};
    r = DS4::inputReport(s, 0);
    EXPECT_EQ(r[8], 0);
    EXPECT_EQ(r[6] & 0x04, 0);
    s.rightTrigger = nan;
    EXPECT_EQ(DS4::inputReport(s, 0)[9], 0);
    s.buttons = GamepadButtons::r2;
    r = DS4::inputReport(s, 0);
    EXPECT_EQ(r[9], 255);
    EXPECT_EQ(r[6] & 0x08, 0x08);
    s.rightTrigger = 7;
    s.buttons = {};
    EXPECT_EQ(DS4::inputReport(s, 0)[9], 255);
}

TEST(DS4, HatCancelsOppositeDirections) {
    using B = GamepadButtons;
    EXPECT_EQ(hatOf({}), 8);
    EXPECT_EQ(hatOf(B::dpadUp), 0);
    EXPECT_EQ(hatOf(B::dpadUp | B::dpadRight), 1);
    EXPECT_EQ(hatOf(B::dpadRight), 2);
    EXPECT_EQ(hatOf(B::dpadDown | B::dpadRight), 3);
    EXPECT_EQ(hatOf(B::dpadDown), 4);
    EXPECT_EQ(hatOf(B::dpadDown | B::dpadLeft), 5);
    EXPECT_EQ(hatOf(B::dpadLeft), 6);
    EXPECT_EQ(hatOf(B::dpadUp | B::dpadLeft), 7);
    EXPECT_EQ(hatOf(B::dpadUp | B::dpadDown), 8);
    EXPECT_EQ(hatOf(B::dpadUp | B::dpadLeft | B::dpadRight), 0);
    EXPECT_EQ(hatOf(B::dpadUp | B::dpadDown | B::dpadLeft | B::dpadRight), 8);
}

TEST(DS4, ButtonsLandOnTheirBits) {
    using B = GamepadButtons;
    auto r = DS4::inputReport(withButtons(B::west | B::south | B::east | B::north), 0);
    EXPECT_EQ(r[5], 0xF8);
    r = DS4::inputReport(withButtons(B::l1 | B::r1 | B::share | B::options | B::l3 | B::r3), 0);
    EXPECT_EQ(r[6], 0xF3);
    r = DS4::inputReport(withButtons(B::home | B::touchpad), 5);
    EXPECT_EQ(r[7], 0x03 | (5 << 2));
    EXPECT_EQ(r[10], (5 * 188) & 0xFF);
    EXPECT_EQ(r[11], (5 * 188) >> 8);
    r = DS4::inputReport(withButtons(B::south), 63);
    EXPECT_EQ(r[7], 63 << 2);
    EXPECT_EQ(r[10] | (r[11] << 8), 63 * 188);
}

const UhidInput& report(const ControlMessage& message) {
    static const UhidInput none;
    const auto* input = std::get_if<UhidInput>(&message);
    EXPECT_NE(input, nullptr);
    return input ? *input : none;
}

TEST(GamepadBridge, EnterCreatesTheDeviceAndSendsANeutralReport) {
    GamepadBridge bridge;
    const Messages messages = collect([&](MessageList& out) { bridge.enter(out); });
    ASSERT_EQ(messages.size(), 2u);
    const auto descriptor = DS4::reportDescriptor();
    EXPECT_EQ(messages[0], ControlMessage(UhidCreate{1, 0x054C, 0x09CC, std::string(DS4::name),
                                                     Bytes(descriptor.begin(), descriptor.end())}));
    const auto neutral = neutralReportBytes();
    EXPECT_EQ(messages[1], ControlMessage(UhidInput{1, Bytes(neutral.begin(), neutral.end())}));
    EXPECT_TRUE(bridge.isCreated());
    EXPECT_TRUE(collect([&](MessageList& out) { bridge.enter(out); }).empty());

    EXPECT_TRUE(
        collect([&](MessageList& out) { bridge.update(GamepadState::neutral, out); }).empty());
    GamepadState pushed;
    pushed.leftStick = {1, -1};
    const Messages next = collect([&](MessageList& out) { bridge.update(pushed, out); });
    ASSERT_EQ(next.size(), 1u);
    const Bytes& data = report(next[0]).data;
    ASSERT_EQ(data.size(), 64u);
    EXPECT_EQ(data[1], 255);
    EXPECT_EQ(data[2], 0);
    EXPECT_EQ(data[7], 4);  // the second report carries counter 1
    EXPECT_EQ(data[10], 188);
    EXPECT_EQ(data[11], 0);
    EXPECT_TRUE(collect([&](MessageList& out) { bridge.update(pushed, out); }).empty());
}

TEST(GamepadBridge, CounterWrapsAfterSixtyFourReports) {
    GamepadBridge bridge;
    MessageList out;
    bridge.enter(out);
    const Bytes first = report(out[1]).data;
    for (int i = 1; i <= 64; ++i) {
        out.clear();
        GamepadState state;
        state.leftTrigger = (i % 2) ? 1.0 : 0.5;  // always a change
        bridge.update(state, out);
        ASSERT_EQ(out.size(), 1u);
        const Bytes& data = report(out[0]).data;
        EXPECT_EQ(data[7] >> 2, i & 63) << i;
        if (i == 64) {
            EXPECT_EQ(data[7], first[7]);
            EXPECT_EQ(data[10], first[10]);
            EXPECT_EQ(data[11], first[11]);
        }
    }
}

TEST(GamepadBridge, ReleaseAndLeaveSendOnlyWhatIsNeeded) {
    GamepadBridge bridge;
    auto run = [&](auto operation) { return collect(operation); };
    EXPECT_TRUE(run([&](MessageList& out) {
                    bridge.update(withButtons(GamepadButtons::south), out);
                }).empty());
    EXPECT_TRUE(run([&](MessageList& out) { bridge.releaseAll(out); }).empty());
    EXPECT_TRUE(run([&](MessageList& out) { bridge.leave(out); }).empty());

    run([&](MessageList& out) { bridge.enter(out); });
    EXPECT_TRUE(run([&](MessageList& out) { bridge.releaseAll(out); }).empty());
    run([&](MessageList& out) { bridge.update(withButtons(GamepadButtons::south), out); });
    const Messages released = run([&](MessageList& out) { bridge.releaseAll(out); });
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(report(released[0]).data[5], 8);  // nothing pressed
    EXPECT_EQ(run([&](MessageList& out) { bridge.leave(out); }), Messages{UhidDestroy{1}});
    EXPECT_FALSE(bridge.isCreated());

    // Held input is released before the device goes; numbering continues across devices.
    run([&](MessageList& out) { bridge.enter(out); });
    run([&](MessageList& out) { bridge.update(withButtons(GamepadButtons::north), out); });
    const Messages left = run([&](MessageList& out) { bridge.leave(out); });
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(report(left[0]).data[5], 8);
    EXPECT_EQ(report(left[0]).data[7], 5 << 2);
    EXPECT_EQ(left[1], ControlMessage(UhidDestroy{1}));
}

TEST(GamepadBridge, ReportsReuseTheListsBuffers) {
    GamepadBridge bridge;
    MessageList out;
    bridge.enter(out);
    out.clear();
    GamepadState state;
    state.rightTrigger = 1;
    bridge.update(state, out);
    const std::uint8_t* buffer = report(out[0]).data.data();
    out.clear();
    state.rightTrigger = 0.5;
    bridge.update(state, out);
    EXPECT_EQ(report(out[0]).data.data(), buffer);
    EXPECT_EQ(report(out[0]).data[9], 128);
}

}  // namespace
}  // namespace qm
