#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "InputRouter/KeyboardMousePassThrough.h"
#include "Messages.h"

namespace qm {
namespace {

using Messages = std::vector<ControlMessage>;

constexpr std::uint64_t finger = PointerID::genericFinger;

// A 1080×2400 phone drawn at half size with a 100-point left margin.
const VideoGeometry portrait({1080, 2400}, {100, 0, 540, 1200});

InjectTouch touch(MotionAction action, std::int32_t x, std::int32_t y, std::uint16_t w = 1080,
                  std::uint16_t h = 2400) {
    return InjectTouch{action, finger, {x, y, w, h}, action == MotionAction::up ? 0.0f : 1.0f,
                       0,      0};
}

InjectKeycode key(KeyAction action, std::int32_t code, std::int32_t repeat, std::int32_t meta) {
    return InjectKeycode{action, code, repeat, meta};
}

class KeyboardMousePassThroughTest : public ::testing::Test {
protected:
    Messages send(const InputEvent& event,
                  const std::optional<VideoGeometry>& geometry = portrait) {
        return collect([&](MessageList& out) { input.handle(event, geometry, out); });
    }
    Messages releaseAll() {
        return collect([&](MessageList& out) { input.releaseAll(out); });
    }
    Messages left(bool down, PointF at, const std::optional<VideoGeometry>& g = portrait) {
        return send(MouseButtonEvent{0, down, at}, g);
    }

    KeyboardMousePassThrough input;
};

TEST_F(KeyboardMousePassThroughTest, KeysCountRepeatsAndReleaseWithTheReleaseModifiers) {
    EXPECT_EQ(send(KeyDownEvent{0, KeyModifiers::shift, false}),
              Messages{key(KeyAction::down, 29, 0, 0x41)});
    EXPECT_EQ(send(KeyDownEvent{0, KeyModifiers::shift, true}),
              Messages{key(KeyAction::down, 29, 1, 0x41)});
    EXPECT_EQ(send(KeyDownEvent{0, KeyModifiers::shift, true}),
              Messages{key(KeyAction::down, 29, 2, 0x41)});
    EXPECT_EQ(send(KeyUpEvent{0, {}}), Messages{key(KeyAction::up, 29, 0, 0)});
    // A repeat whose first press was never seen starts at 0.
    EXPECT_EQ(send(KeyDownEvent{2, {}, true}), Messages{key(KeyAction::down, 32, 0, 0)});
}

TEST_F(KeyboardMousePassThroughTest, CommandKeepsPressesButNotReleases) {
    EXPECT_TRUE(send(KeyDownEvent{8, KeyModifiers::command, false}).empty());
    EXPECT_TRUE(send(KeyUpEvent{8, KeyModifiers::command}).empty());
    EXPECT_TRUE(send(KeyDownEvent{55, KeyModifiers::command, false}).empty());  // Command itself

    EXPECT_EQ(send(KeyDownEvent{7, {}, false}), Messages{key(KeyAction::down, 52, 0, 0)});
    EXPECT_EQ(send(KeyUpEvent{7, KeyModifiers::command}),
              Messages{key(KeyAction::up, 52, 0, 0x30000)});
}

TEST_F(KeyboardMousePassThroughTest, CapsLockPassesAndUnmappedKeysDoNot) {
    EXPECT_EQ(send(KeyDownEvent{57, KeyModifiers::capsLock, false}),
              Messages{key(KeyAction::down, 115, 0, 0x100000)});
    EXPECT_TRUE(send(KeyDownEvent{105, {}, false}).empty());  // F13
    EXPECT_TRUE(send(KeyUpEvent{105, {}}).empty());
    EXPECT_TRUE(send(KeyDownEvent{63, {}, false}).empty());  // Fn
    EXPECT_TRUE(send(KeyUpEvent{0xFFFF, {}}).empty());
}

TEST_F(KeyboardMousePassThroughTest, LeftButtonDragIsClampedToThePictureEdge) {
    EXPECT_TRUE(left(true, {50, 100}).empty());  // in the margin
    EXPECT_EQ(left(true, {370, 600}), Messages{touch(MotionAction::down, 540, 1200)});
    EXPECT_TRUE(input.fingerDown());
    EXPECT_TRUE(left(true, {380, 600}).empty());  // already down
    EXPECT_EQ(send(MouseMovedEvent{{700, -40}}), Messages{touch(MotionAction::move, 1079, 0)});
    EXPECT_EQ(send(MouseMovedEvent{{0, 5000}}), Messages{touch(MotionAction::move, 0, 2399)});
    EXPECT_EQ(left(false, {900, 2000}), Messages{touch(MotionAction::up, 1079, 2399)});
    EXPECT_FALSE(input.fingerDown());
    EXPECT_EQ(input.lastFinger(), std::nullopt);
    EXPECT_TRUE(left(false, {370, 600}).empty());            // up without down
    EXPECT_TRUE(send(MouseMovedEvent{{370, 600}}).empty());  // hovering
}

TEST_F(KeyboardMousePassThroughTest, FingerNeedsAGeometryToGoDownButNotToLift) {
    EXPECT_TRUE(left(true, {370, 600}, std::nullopt).empty());
    ASSERT_FALSE(left(true, {370, 600}).empty());
    EXPECT_TRUE(send(MouseMovedEvent{{380, 600}}, std::nullopt).empty());
    EXPECT_EQ(left(false, {0, 0}, std::nullopt), Messages{touch(MotionAction::up, 540, 1200)});
}

TEST_F(KeyboardMousePassThroughTest, ClampingSurvivesEdgesThatRoundPastTheRectangle) {
    // 0.1 + 0.2 rounds above 0.3, so the clamped edge would map outside and fall back
    // to the centre if it were clamped in view coordinates.
    const VideoGeometry g({100, 100}, {0.1, 0.1, 0.2, 0.2});
    EXPECT_EQ(KeyboardMousePassThrough::clampedPosition({5, 5}, g),
              (DevicePosition{99, 99, 100, 100}));
    EXPECT_EQ(KeyboardMousePassThrough::clampedPosition({-5, 0.2}, g),
              (DevicePosition{0, 50, 100, 100}));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(KeyboardMousePassThrough::clampedPosition({nan, 0.2}, g),
              (DevicePosition{50, 50, 100, 100}));
    EXPECT_EQ(KeyboardMousePassThrough::clampedPosition({inf, -inf}, g),
              (DevicePosition{99, 0, 100, 100}));
    const VideoGeometry empty({100, 60}, {10, 10, 0, 0});
    EXPECT_EQ(KeyboardMousePassThrough::clampedPosition({10, 10}, empty),
              (DevicePosition{50, 30, 100, 60}));
}

TEST_F(KeyboardMousePassThroughTest, RightIsBackAndMiddleIsHomeReportingOnlyChanges) {
    EXPECT_EQ(send(MouseButtonEvent{1, true, {0, 0}}), Messages{BackOrScreenOn{KeyAction::down}});
    EXPECT_TRUE(send(MouseButtonEvent{1, true, {0, 0}}).empty());
    EXPECT_EQ(send(MouseButtonEvent{1, false, {0, 0}}), Messages{BackOrScreenOn{KeyAction::up}});
    EXPECT_EQ(send(MouseButtonEvent{2, true, {0, 0}}), Messages{key(KeyAction::down, 3, 0, 0)});
    EXPECT_EQ(send(MouseButtonEvent{2, false, {0, 0}}), Messages{key(KeyAction::up, 3, 0, 0)});
    EXPECT_TRUE(send(MouseButtonEvent{2, false, {0, 0}}).empty());
    EXPECT_TRUE(send(MouseButtonEvent{7, true, {370, 600}}).empty());
    EXPECT_TRUE(send(MouseButtonEvent{-1, true, {370, 600}}).empty());
}

TEST_F(KeyboardMousePassThroughTest, ScrollIsClampedToOneStepAndNeedsThePicture) {
    const PointF inside{370, 600};
    const auto scroll = [](float horizontal, float vertical) {
        return Messages{InjectScroll{{540, 1200, 1080, 2400}, horizontal, vertical, 0}};
    };
    EXPECT_EQ(send(ScrollEvent{40, 0, inside}), scroll(-16, 0));
    EXPECT_EQ(send(ScrollEvent{-2.5, -30, inside}), scroll(2.5f, -16));
    EXPECT_TRUE(send(ScrollEvent{0, 0, inside}).empty());
    EXPECT_TRUE(send(ScrollEvent{0, 5, {50, 600}}).empty());
    EXPECT_TRUE(send(ScrollEvent{0, 5, inside}, std::nullopt).empty());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(send(ScrollEvent{nan, nan, inside}).empty());
    EXPECT_EQ(send(ScrollEvent{nan, 3, inside}), scroll(0, 3));
}

TEST_F(KeyboardMousePassThroughTest, RelativeMotionAndControllerSamplesAreIgnored) {
    EXPECT_TRUE(send(MouseDeltaEvent{5, 5}).empty());
    EXPECT_TRUE(send(GamepadEvent{GamepadState{{1, 1}, {}, 1, 1, GamepadButtons::south}}).empty());
}

TEST_F(KeyboardMousePassThroughTest, RotationLiftsTheFingerAtTheMatchingPoint) {
    ASSERT_FALSE(left(true, {370, 600}).empty());
    auto sizeChange = [&](VideoSize size) {
        return collect([&](MessageList& out) { input.videoSizeChanged(size, out); });
    };
    EXPECT_TRUE(sizeChange({1080, 2400}).empty());
    EXPECT_EQ(sizeChange({2400, 1080}), Messages{touch(MotionAction::up, 1200, 540, 2400, 1080)});
    EXPECT_FALSE(input.fingerDown());
    const VideoGeometry landscape({2400, 1080}, {0, 0, 1200, 540});
    EXPECT_TRUE(send(MouseMovedEvent{{600, 270}}, landscape).empty());
    EXPECT_TRUE(sizeChange({1080, 2400}).empty());
    // A zero-sized new picture lifts at its origin instead of dividing by zero.
    ASSERT_FALSE(left(true, {370, 600}).empty());
    EXPECT_EQ(sizeChange({0, 0}), Messages{touch(MotionAction::up, 0, 0, 0, 0)});
}

TEST_F(KeyboardMousePassThroughTest, ReleaseAllLiftsEverythingInAFixedOrderOnce) {
    ASSERT_FALSE(send(KeyDownEvent{2, {}, false}).empty());  // D, 32
    ASSERT_FALSE(send(KeyDownEvent{0, {}, false}).empty());  // A, 29
    ASSERT_FALSE(left(true, {370, 600}).empty());
    ASSERT_FALSE(send(MouseButtonEvent{1, true, {0, 0}}).empty());
    ASSERT_FALSE(send(MouseButtonEvent{2, true, {0, 0}}).empty());
    EXPECT_EQ(releaseAll(), (Messages{touch(MotionAction::up, 540, 1200),
                                      BackOrScreenOn{KeyAction::up}, key(KeyAction::up, 3, 0, 0),
                                      key(KeyAction::up, 29, 0, 0), key(KeyAction::up, 32, 0, 0)}));
    EXPECT_TRUE(releaseAll().empty());
    EXPECT_TRUE(send(KeyUpEvent{2, {}}).empty());
    EXPECT_EQ(send(MouseButtonEvent{1, true, {0, 0}}), Messages{BackOrScreenOn{KeyAction::down}});
}

}  // namespace
}  // namespace qm
