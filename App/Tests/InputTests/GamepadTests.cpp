#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include <SDL.h>

#include <gtest/gtest.h>

#include "Input/GamepadCapture.h"
#include "InputFakes.h"
#include "QuillmereCore/Log.h"
#include "Support/LogSince.h"

namespace qm {
namespace {

constexpr Uint16 sony = 0x054C;
constexpr Uint16 dualShock4 = 0x05C4;
constexpr Uint16 microsoft = 0x045E;
constexpr Uint16 xbox360 = 0x028E;

// A controller SDL reports as it would a real one; needs SDL's controller support running.
// SDL maps a DualShock 4's touchpad only when it knows the device: added here.
class VirtualController {
public:
    VirtualController(Uint16 vendor, Uint16 product) {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.vendor_id = vendor;
        desc.product_id = product;
        desc.name = "Virtual controller";
        joystick_.reset(SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&desc)));
        EXPECT_TRUE(joystick_) << SDL_GetError();
        std::array<char, 33> guid{};
        SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(joystick_.get()), guid.data(),
                                  int(guid.size()));
        const std::string mapping =
            std::string(guid.data()) +
            ",Virtual controller,a:b0,b:b1,x:b2,y:b3,back:b4,guide:b5,start:b6,leftstick:b7,"
            "rightstick:b8,leftshoulder:b9,rightshoulder:b10,dpup:b11,dpdown:b12,dpleft:b13,"
            "dpright:b14,touchpad:b20,leftx:a0,lefty:a1,rightx:a2,righty:a3,lefttrigger:a4,"
            "righttrigger:a5,";
        EXPECT_GE(SDL_GameControllerAddMapping(mapping.c_str()), 0) << SDL_GetError();
    }
    ~VirtualController() { unplug(); }

    void axis(SDL_GameControllerAxis axis, Sint16 value) {
        SDL_JoystickSetVirtualAxis(joystick_.get(), axis, value);
    }
    void button(SDL_GameControllerButton button, bool down) {
        SDL_JoystickSetVirtualButton(joystick_.get(), button, down ? 1 : 0);
    }
    void unplug() {
        if (!joystick_) {
            return;
        }
        const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_.get());
        joystick_.reset();
        for (int index = 0; index < SDL_NumJoysticks(); ++index) {
            if (SDL_JoystickGetDeviceInstanceID(index) == id) {
                SDL_JoystickDetachVirtual(index);
            }
        }
    }

private:
    struct Closer {
        void operator()(SDL_Joystick* joystick) const { SDL_JoystickClose(joystick); }
    };
    std::unique_ptr<SDL_Joystick, Closer> joystick_;
};

class GamepadCaptureTest : public ::testing::Test {
protected:
    GamepadCaptureTest() { capture.start(); }

    std::vector<GamepadState> states;
    GamepadCapture capture{[this](const GamepadState& state) { states.push_back(state); }};
};

TEST_F(GamepadCaptureTest, ReportsTheControllersStateInTheGamepadsTerms) {
    EXPECT_EQ(states, std::vector<GamepadState>{GamepadState::neutral});
    VirtualController pad(sony, dualShock4);
    capture.pump();
    EXPECT_EQ(states.size(), 1u) << "a controller at rest changes nothing";

    pad.axis(SDL_CONTROLLER_AXIS_LEFTY, -32768);  // pushed up
    pad.axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767);
    pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, -10000);  // a third of its travel
    for (auto b : {SDL_CONTROLLER_BUTTON_BACK, SDL_CONTROLLER_BUTTON_START,
                   SDL_CONTROLLER_BUTTON_GUIDE, SDL_CONTROLLER_BUTTON_TOUCHPAD}) {
        pad.button(b, true);
    }
    capture.pump();
    const GamepadState& state = states.back();
    EXPECT_EQ(state.leftStick.y, -1.0);
    EXPECT_EQ(state.leftTrigger, 1.0);
    EXPECT_NEAR(state.rightTrigger, 0.35, 0.01);
    EXPECT_EQ(state.buttons,
              (GamepadButtons{GamepadButtons::l2, GamepadButtons::share, GamepadButtons::options,
                              GamepadButtons::home, GamepadButtons::touchpad}));
}

TEST_F(GamepadCaptureTest, FollowsTheControllerWithTheLatestInput) {
    VirtualController xbox(microsoft, xbox360);
    VirtualController ps4(sony, dualShock4);
    capture.pump();
    xbox.button(SDL_CONTROLLER_BUTTON_A, true);
    xbox.button(SDL_CONTROLLER_BUTTON_TOUCHPAD, true);  // no touchpad on this one
    capture.pump();
    EXPECT_EQ(states.back().buttons, GamepadButtons::south);

    ps4.button(SDL_CONTROLLER_BUTTON_Y, true);
    capture.pump();
    EXPECT_EQ(states.back().buttons, GamepadButtons::north);

    ps4.unplug();
    capture.pump();
    EXPECT_EQ(states.back().buttons, GamepadButtons::south) << "back to the one left";
    const std::size_t before = states.size();
    xbox.unplug();
    capture.pump();
    EXPECT_EQ(
        std::count(states.begin() + std::ptrdiff_t(before), states.end(), GamepadState::neutral),
        1);
    EXPECT_EQ(states.back(), GamepadState::neutral);
}

TEST(GamepadGateTest, ControllerInputWaitsWhileTheWindowCannotBeSeen) {
    const test::DebugLevel debug(Log::input());
    const test::LogSince log;
    test::InputFixture f;
    f.attach();
    f.coordinator.requestMode(InputMode::macGamepad);
    f.startStreaming();
    VirtualController pad(sony, dualShock4);
    const auto reports = [&] {
        return std::count_if(f.session.messages.begin(), f.session.messages.end(),
                             [](const auto& m) { return std::holds_alternative<UhidInput>(m); });
    };
    f.tick();
    pad.button(SDL_CONTROLLER_BUTTON_A, true);
    f.tick();
    const auto shown = reports();

    f.view.visible = false;
    pad.button(SDL_CONTROLLER_BUTTON_B, true);
    f.tick();
    pad.button(SDL_CONTROLLER_BUTTON_X, true);
    f.tick();
    EXPECT_EQ(reports(), shown + 1) << "one neutral state, then nothing";

    f.view.visible = true;
    f.view.sheet = true;
    pad.button(SDL_CONTROLLER_BUTTON_Y, true);
    f.tick();
    EXPECT_EQ(reports(), shown + 1);
    f.view.sheet = false;
    f.now += 2'000'000'000;  // the flow's next line is due
    pad.button(SDL_CONTROLLER_BUTTON_Y, false);
    f.tick();
    EXPECT_EQ(reports(), shown + 2);

    // The modes by their numbers, as the input lines have always named them.
    EXPECT_EQ(log.count("input mode 2"), 1u);
    EXPECT_EQ(log.count("mode 2: creating the virtual DualShock 4 on the phone"), 1u);
    EXPECT_GE(log.count(", gate open, mode 2, streaming true, editing false"), 1u);
}

}  // namespace
}  // namespace qm
