#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <span>
#include <utility>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "InputRouter/DS4.h"
#include "InputRouter/InputRouter.h"
#include "InputRouter/ProfileTemplates.h"
#include "InputRouter/TouchMessages.h"

namespace qm {
namespace {

using Messages = std::vector<ControlMessage>;

constexpr auto DOWN = MotionAction::down;
constexpr auto MOVE = MotionAction::move;
constexpr auto UP = MotionAction::up;
constexpr std::uint16_t W = 13, A = 0, S = 1, D = 2, leftAlt = 58, rightAlt = 61;
constexpr std::uint64_t second = 1'000'000'000;
constexpr std::uint64_t frame = 8'333'333;  // 1/120 s

InjectTouch touch(MotionAction action, std::uint64_t pointer, std::int32_t x, std::int32_t y,
                  std::uint16_t w = 1920, std::uint16_t h = 1080) {
    return message::touch(action, pointer, {x, y, w, h});
}

KeyDownEvent press(std::uint16_t key, KeyModifiers modifiers = {}, bool repeat = false) {
    return {key, modifiers, repeat};
}
KeyUpEvent lift(std::uint16_t key) {
    return {key, {}};
}
MouseDeltaEvent delta(double dx, double dy = 0) {
    return {dx, dy};
}
MouseButtonEvent click(int button, bool down, PointF at = {960, 540}) {
    return {button, down, at};
}
GamepadEvent pad(PointF left, PointF right = {}, GamepadButtons buttons = {}) {
    return GamepadEvent{{left, right, 0, 0, buttons}};
}

KeymapAction tap(Trigger trigger, PointF at, UUID id = UUID::random()) {
    return {id, KeymapAction::Tap{trigger, at}};
}
KeymapAction wasd(PointF centre, double radius) {
    return {UUID::random(), KeymapAction::Stick{Trigger::key(W), Trigger::key(S), Trigger::key(A),
                                                Trigger::key(D), StickSide::left, centre, radius}};
}
// The right half of the picture, driven by the mouse and the right stick.
KeymapAction look(double sensitivity = 1) {
    return {UUID::random(),
            KeymapAction::Look{{0.75, 0.5}, {0.5, 0, 0.5, 1}, sensitivity, StickSide::right}};
}
KeymapLayout layout(std::vector<KeymapAction> actions, std::optional<Trigger> trigger) {
    return {UUID::random(), "", trigger,
            KeymapProfile("com.example.game", Orientation::landscape, std::move(actions))};
}

struct Tick {
    std::uint64_t now;
};
struct ReleaseAll {};
// One thing done to the router and everything it must send for it.
struct Step {
    std::variant<InputEvent, Tick, VideoSize, ReleaseAll> action;
    Messages expected;
};

class InputRouterTest : public ::testing::Test {
protected:
    Messages take() { return std::exchange(sent, {}); }

    void show(VideoSize size) {
        router.setGeometry(VideoGeometry(size, {0, 0, double(size.width), double(size.height)}));
    }
    void play(std::vector<KeymapAction> actions) {
        router.setMode(InputMode::keymap);
        show({1920, 1080});
        router.setProfile(
            KeymapProfile("com.example.game", Orientation::landscape, std::move(actions)));
        take();
    }
    void expectScript(std::span<const Step> steps) {
        for (std::size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "step " << i);
            std::visit(
                [&](const auto& a) {
                    using T = std::decay_t<decltype(a)>;
                    if constexpr (std::is_same_v<T, InputEvent>) {
                        router.handle(a);
                    } else if constexpr (std::is_same_v<T, Tick>) {
                        router.tick(a.now);
                    } else if constexpr (std::is_same_v<T, VideoSize>) {
                        show(a);
                    } else {
                        router.releaseAll();
                    }
                },
                steps[i].action);
            EXPECT_EQ(take(), steps[i].expected);
        }
    }

    Messages sent;
    InputRouter router{[this](const ControlMessage& message) { sent.push_back(message); }};
};

TEST_F(InputRouterTest, StickFollowsKeysAndTheyBeatThePadStick) {
    play({wasd({0.2, 0.7}, 0.07)});
    const Step steps[] = {
        {press(W), {touch(DOWN, 1, 384, 756), touch(MOVE, 1, 384, 622)}},
        {press(D), {touch(MOVE, 1, 479, 661)}},
        {lift(W), {touch(MOVE, 1, 518, 756)}},
        {lift(D), {touch(UP, 1, 518, 756)}},
        {press(A), {touch(DOWN, 1, 384, 756), touch(MOVE, 1, 250, 756)}},
        {press(D), {touch(MOVE, 1, 384, 756)}},  // opposite keys cancel, the finger stays
        {lift(A), {touch(MOVE, 1, 518, 756)}},
        {lift(D), {touch(UP, 1, 518, 756)}},
        {pad({0, -0.15}), {}},  // the dead zone
        {pad({0, -1}), {touch(DOWN, 1, 384, 756), touch(MOVE, 1, 384, 622)}},
        {press(D), {touch(MOVE, 1, 518, 756)}},
        {pad({0, -0.575}), {}},
        {lift(D), {touch(MOVE, 1, 384, 689)}},  // half way up: straight to the stick's target
        {pad({0, 0}), {touch(UP, 1, 384, 689)}},
    };
    expectScript(steps);
}

// Actions built in memory may share an id; each still keeps its own finger.
TEST_F(InputRouterTest, TapsKeepOneFingerPerActionAndFollowTheVideoSize) {
    const UUID shared = UUID::random();
    play({tap(Trigger::key(A), {0.5, 0.5}, shared), tap(Trigger::key(49), {0.25, 0.25}, shared),
          tap(Trigger::key(49), {0.75, 0.75})});
    const Step steps[] = {
        {press(A, KeyModifiers::command), {}},
        {press(A), {touch(DOWN, 1, 960, 540)}},
        {press(49), {touch(DOWN, 2, 480, 270), touch(DOWN, 3, 1440, 810)}},
        {press(49, {}, true), {}},
        {lift(49), {touch(UP, 2, 480, 270), touch(UP, 3, 1440, 810)}},
        {VideoSize{1920, 1080}, {}},
        {VideoSize{1280, 720},
         {touch(UP, 1, 640, 360, 1280, 720), touch(DOWN, 1, 640, 360, 1280, 720)}},
        {ReleaseAll{}, {touch(UP, 1, 640, 360, 1280, 720)}},
        {lift(A), {}},
    };
    expectScript(steps);
}

TEST_F(InputRouterTest, LookDragsInsideItsZoneAndStartsAgainAtTheCentre) {
    play({look()});
    EXPECT_TRUE(router.wantsCursorCapture());
    const Step steps[] = {
        {delta(10), {touch(DOWN, 1, 1440, 540), touch(MOVE, 1, 1450, 540)}},
        {delta(600),
         {touch(UP, 1, 1450, 540), touch(DOWN, 1, 1440, 540), touch(MOVE, 1, 1919, 540)}},
        {delta(-470), {touch(MOVE, 1, 1450, 540)}},
        {delta(0.3), {}},
        {delta(0.3), {touch(MOVE, 1, 1451, 540)}},
        {Tick{second}, {}},
        {pad({}, {1, 0}), {}},
        {Tick{second + frame}, {touch(MOVE, 1, 1461, 540)}},
        {Tick{second + 2 * frame}, {touch(MOVE, 1, 1471, 540)}},
        {Tick{second + 2 * frame + second / 5}, {touch(MOVE, 1, 1531, 540)}},  // at most 50 ms
        {Tick{second + 2 * frame + second / 5}, {}},
    };
    expectScript(steps);
}

TEST_F(InputRouterTest, AltPausesLookAndPassesTheMouseThrough) {
    play({look(), tap(Trigger::mouseButton(0), {0.9, 0.6})});
    constexpr std::uint64_t finger = PointerID::genericFinger;
    const Step before[] = {
        {delta(10), {touch(DOWN, 1, 1440, 540), touch(MOVE, 1, 1450, 540)}},
        {click(0, true), {touch(DOWN, 2, 1728, 648)}},
        {press(leftAlt), {touch(UP, 1, 1450, 540)}},
    };
    expectScript(before);
    EXPECT_FALSE(router.wantsCursorCapture());
    const Step held[] = {
        {press(rightAlt), {}},
        {click(0, false), {touch(UP, 2, 1728, 648)}},  // held before Alt: its tap lifts
        {click(0, true, {100, 200}), {touch(DOWN, finger, 100, 200)}},
        {MouseMovedEvent{{110, 205}}, {touch(MOVE, finger, 110, 205)}},
        {click(1, true), {}},
        {delta(10), {}},
        {Tick{second}, {}},
        {lift(leftAlt), {}},
        {lift(rightAlt), {touch(UP, finger, 110, 205)}},
        {click(0, false), {}},
        {delta(10), {touch(DOWN, 1, 1440, 540), touch(MOVE, 1, 1450, 540)}},
    };
    expectScript(held);
    EXPECT_TRUE(router.wantsCursorCapture());
}

TEST_F(InputRouterTest, SwitchTriggersChangeLayoutsOnPressesOnly) {
    std::vector<std::size_t> reported;
    router.setOnLayoutSwitch([&](std::size_t index) { reported.push_back(index); });
    router.setMode(InputMode::keymap);
    show({1920, 1080});
    const auto key20 = Trigger::key(20), key18 = Trigger::key(18);
    std::vector<KeymapLayout> layouts{
        layout({wasd({0.2, 0.7}, 0.07), tap(key20, {0.5, 0.5})}, key18),
        layout({wasd({0.3, 0.6}, 0.05)}, key20), layout({}, Trigger::mouseButton(2)),
        layout({tap(key20, {0.1, 0.1})}, key20),  // the lower index keeps key 20
    };
    router.setLayouts(layouts, 0);
    const Step steps[] = {
        {press(W), {touch(DOWN, 1, 384, 756), touch(MOVE, 1, 384, 622)}},
        {press(20),
         {touch(DOWN, 2, 960, 540), touch(UP, 1, 384, 622), touch(UP, 2, 960, 540),
          touch(DOWN, 1, 576, 648), touch(MOVE, 1, 576, 552)}},
        {lift(20), {}},
        {press(18, {}, true), {}},
        {press(18, KeyModifiers::command), {}},
        {press(leftAlt), {}},
        {click(2, true), {}},
        {lift(leftAlt), {}},
        {click(2, false), {}},
        {click(2, true), {touch(UP, 1, 576, 552)}},
    };
    expectScript(steps);
    EXPECT_EQ(reported, (std::vector<std::size_t>{1, 2}));

    router.setLayouts(layouts, 3);
    EXPECT_EQ(router.activeLayoutIndex(), 3u);
    EXPECT_FALSE(router.selectLayout(3));
    EXPECT_FALSE(router.selectLayout(4));
    EXPECT_TRUE(router.selectLayout(0));
    EXPECT_EQ(reported, (std::vector<std::size_t>{1, 2, 0}));
}

TEST_F(InputRouterTest, ModeChangesLeaveTheOldMachineThenEnterTheNew) {
    show({1920, 1080});
    router.handle(press(49));
    router.tick(second);
    router.releaseAll();
    EXPECT_FALSE(router.selectLayout(0));
    EXPECT_TRUE(take().empty());

    router.setLayouts(
        {layout({tap(Trigger::key(49), {0.5, 0.5})}, std::nullopt), layout({look()}, std::nullopt)},
        1);
    router.setMode(InputMode::macGamepad);
    const Messages created = take();
    ASSERT_EQ(created.size(), 2u);
    EXPECT_TRUE(std::holds_alternative<UhidCreate>(created[0]));
    router.setMode(InputMode::macGamepad);
    EXPECT_TRUE(take().empty());

    router.setMode(InputMode::keymap);  // the last report was neutral: no other one
    EXPECT_EQ(take(), Messages{UhidDestroy{GamepadBridge::deviceID}});
    EXPECT_EQ(router.activeLayoutIndex(), 0u);
    router.handle(press(49));
    EXPECT_EQ(take(), Messages{touch(DOWN, 1, 960, 540)});

    router.setMode(InputMode::keyboardMouse);  // leaving lifts every keymap finger
    EXPECT_EQ(take(), Messages{touch(UP, 1, 960, 540)});
    router.tick(second);
    router.tick(second + frame);
    EXPECT_TRUE(take().empty());
}

// What the phone would hold, from the messages alone: protocol slips are recorded as failures.
class PhoneLedger {
public:
    void record(const ControlMessage& message) {
        std::visit(
            [&](const auto& m) {
                using T = std::decay_t<decltype(m)>;
                if constexpr (std::is_same_v<T, InjectTouch>) {
                    const bool wasDown = fingers_.contains(m.pointerID);
                    EXPECT_EQ(wasDown, m.action != DOWN) << "pointer " << m.pointerID;
                    if (m.action == UP) {
                        fingers_.erase(m.pointerID);
                    } else {
                        fingers_.insert(m.pointerID);
                    }
                } else if constexpr (std::is_same_v<T, InjectKeycode>) {
                    if (m.action == KeyAction::down) {
                        keys_.insert(m.keycode);
                    } else {
                        EXPECT_EQ(keys_.erase(m.keycode), 1u) << "key " << m.keycode << " was up";
                    }
                } else if constexpr (std::is_same_v<T, UhidCreate>) {
                    EXPECT_FALSE(controller_);
                    controller_ = true;
                } else if constexpr (std::is_same_v<T, UhidInput>) {
                    EXPECT_TRUE(controller_);
                    lastReport_ = m.data;
                } else if constexpr (std::is_same_v<T, UhidDestroy>) {
                    EXPECT_TRUE(controller_);
                    controller_ = false;
                }
            },
            message);
    }

    void expectLetGo() const {
        EXPECT_TRUE(fingers_.empty());
        EXPECT_TRUE(keys_.empty());
        if (controller_) {
            ASSERT_EQ(lastReport_.size(), sizeof(DS4::InputReport));
            const auto counter = std::uint8_t(lastReport_[7] >> 2);
            const auto neutral = DS4::inputReport(GamepadState::neutral, counter);
            EXPECT_EQ(lastReport_, Bytes(neutral.begin(), neutral.end()));
        }
    }

private:
    std::set<std::uint64_t> fingers_;
    std::set<std::int32_t> keys_;
    bool controller_ = false;
    Bytes lastReport_;
};

std::vector<KeymapLayout> randomRunLayouts() {
    KeymapProfile sharedIds = ProfileTemplates::shooter("com.example.game");
    for (KeymapAction& action : sharedIds.actions) {
        action.id = sharedIds.actions[0].id;
    }
    return {
        layout(ProfileTemplates::shooter("com.example.game").actions, Trigger::key(18)),
        layout(ProfileTemplates::moba("com.example.game").actions, Trigger::key(19)),
        layout(sharedIds.actions, Trigger::mouseButton(2)),
        layout({look(2.5), tap(Trigger::gamepad(GamepadButtons::r2), {0.9, 0.9})},
               Trigger::gamepad(GamepadButtons::north)),
    };
}

// Everything the router can be asked, at random: whatever happens, the phone never sees a
// finger go down twice or move while up, and releaseAll lets go of everything.
TEST(InputRouterRandomRun, PhoneStateStaysConsistent) {
    const std::vector<KeymapLayout> layouts = randomRunLayouts();
    constexpr std::array<std::uint16_t, 16> keys{W,  A,  S,  D,  49, 8,  15,      5,
                                                 12, 14, 18, 19, 20, 55, leftAlt, rightAlt};
    constexpr std::array<VideoSize, 4> sizes{{{1920, 1080}, {1280, 720}, {1080, 2400}, {0, 0}}};
    for (unsigned seed = 1; seed <= 150 && !::testing::Test::HasFailure(); ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        std::mt19937 random(seed);
        const auto below = [&](std::uint32_t n) { return std::uint32_t(random() % n); };
        const auto number = [&](double low, double high) {
            return std::uniform_real_distribution<double>(low, high)(random);
        };
        PhoneLedger ledger;
        InputRouter router([&](const ControlMessage& message) { ledger.record(message); });
        std::uint64_t now = second;
        for (int step = 0; step < 3000 && !::testing::Test::HasFailure(); ++step) {
            const PointF point{number(-100, 2000), number(-100, 2500)};
            const auto stick = [&] { return PointF{number(-1.1, 1.1), number(-1.1, 1.1)}; };
            switch (below(15)) {
                case 0: {
                    const KeyModifiers mods(below(8) ? 0 : KeyModifiers::command.rawValue);
                    router.handle(press(keys[below(keys.size())], mods, below(8) == 0));
                    break;
                }
                case 1:
                    router.handle(lift(keys[below(keys.size())]));
                    break;
                case 2:
                    router.handle(click(int(below(4)), below(2), point));
                    break;
                case 3:
                    router.handle(delta(number(-300, 300), number(-300, 300)));
                    break;
                case 4:
                    router.handle(MouseMovedEvent{point});
                    break;
                case 5:
                    router.handle(ScrollEvent{number(-5, 5), number(-5, 5), point});
                    break;
                case 6:
                    router.handle(pad(stick(), stick(), GamepadButtons(random() & 0x3003F)));
                    break;
                case 7:  // now and then the clock steps back
                    now = below(10) ? now + below(3 * frame) : now - below(frame);
                    router.tick(now);
                    break;
                case 8:
                    router.setGeometry(
                        VideoGeometry(sizes[below(sizes.size())], {number(0, 50), 0, 1920, 1080}));
                    break;
                case 9:
                    router.setLayouts(below(6) ? layouts : std::vector<KeymapLayout>{}, below(6));
                    break;
                case 10:
                    router.setProfile(below(2) ? std::optional(layouts[below(4)].profile)
                                               : std::nullopt);
                    break;
                case 11:
                    router.selectLayout(below(5));
                    break;
                case 12:
                    router.setMode(allInputModes[below(4)]);
                    break;
                case 13:
                    router.resync();
                    break;
                default:
                    router.releaseAll();
                    ledger.expectLetGo();
            }
        }
        router.releaseAll();
        ledger.expectLetGo();
    }
}

}  // namespace
}  // namespace qm
