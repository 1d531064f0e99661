#include "Input/GamepadCapture.h"

#include <algorithm>
#include <array>

#include <SDL.h>

#include "QuillmereCore/Log.h"

namespace qm {
namespace {

struct ButtonPair {
    SDL_GameControllerButton sdl;
    GamepadButtons button;
};

// Back, Start and Guide sit where share, options and home do.
constexpr std::array<ButtonPair, 15> buttonPairs{{
    {SDL_CONTROLLER_BUTTON_A, GamepadButtons::south},
    {SDL_CONTROLLER_BUTTON_B, GamepadButtons::east},
    {SDL_CONTROLLER_BUTTON_X, GamepadButtons::west},
    {SDL_CONTROLLER_BUTTON_Y, GamepadButtons::north},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, GamepadButtons::l1},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, GamepadButtons::r1},
    {SDL_CONTROLLER_BUTTON_LEFTSTICK, GamepadButtons::l3},
    {SDL_CONTROLLER_BUTTON_RIGHTSTICK, GamepadButtons::r3},
    {SDL_CONTROLLER_BUTTON_BACK, GamepadButtons::share},
    {SDL_CONTROLLER_BUTTON_START, GamepadButtons::options},
    {SDL_CONTROLLER_BUTTON_GUIDE, GamepadButtons::home},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, GamepadButtons::dpadUp},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, GamepadButtons::dpadDown},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, GamepadButtons::dpadLeft},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, GamepadButtons::dpadRight},
}};

// A trigger counts as pressed from half its travel.
constexpr double triggerPressed = 0.5;

double axisValue(Sint16 raw) {
    return std::clamp(double(raw) / 32767.0, -1.0, 1.0);
}

void setButton(GamepadState& state, GamepadButtons button, bool down) {
    if (down) {
        state.buttons.insert(button);
    } else {
        state.buttons.remove(button);
    }
}

// SDL's sticks grow downwards already, as the state's do.
void setAxis(GamepadState& state, SDL_GameControllerAxis axis, Sint16 raw) {
    const double value = axisValue(raw);
    switch (axis) {
        case SDL_CONTROLLER_AXIS_LEFTX:
            state.leftStick.x = value;
            break;
        case SDL_CONTROLLER_AXIS_LEFTY:
            state.leftStick.y = value;
            break;
        case SDL_CONTROLLER_AXIS_RIGHTX:
            state.rightStick.x = value;
            break;
        case SDL_CONTROLLER_AXIS_RIGHTY:
            state.rightStick.y = value;
            break;
        case SDL_CONTROLLER_AXIS_TRIGGERLEFT:
            state.leftTrigger = std::max(value, 0.0);
            setButton(state, GamepadButtons::l2, state.leftTrigger >= triggerPressed);
            break;
        case SDL_CONTROLLER_AXIS_TRIGGERRIGHT:
            state.rightTrigger = std::max(value, 0.0);
            setButton(state, GamepadButtons::r2, state.rightTrigger >= triggerPressed);
            break;
        default:
            break;
    }
}

void setSdlButton(GamepadState& state, Uint8 sdl, bool down, bool hasTouchpad) {
    if (sdl == SDL_CONTROLLER_BUTTON_TOUCHPAD) {
        if (hasTouchpad) {
            setButton(state, GamepadButtons::touchpad, down);
        }
        return;
    }
    const auto found = std::find_if(buttonPairs.begin(), buttonPairs.end(),
                                    [&](const ButtonPair& pair) { return pair.sdl == sdl; });
    if (found != buttonPairs.end()) {
        setButton(state, found->button, down);
    }
}

}  // namespace

void GamepadCapture::Closer::operator()(SDL_GameController* controller) const noexcept {
    SDL_GameControllerClose(controller);
}

GamepadCapture::GamepadCapture(OnState onState) : onState_(std::move(onState)) {}

GamepadCapture::~GamepadCapture() {
    stop();
}

void GamepadCapture::start() {
    if (started_) {
        return;
    }
    started_ = true;
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // SDL would take SIGINT and SIGTERM for an event nobody reads: the app must stay killable.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    sdl_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    if (!sdl_) {
        Log::input().warn("gamepad: no controller support: {}", SDL_GetError());
    } else {
        for (int index = 0; index < SDL_NumJoysticks(); ++index) {
            open(index);
        }
    }
    report();
}

void GamepadCapture::stop() {
    if (!started_) {
        return;
    }
    started_ = false;
    controllers_.clear();
    current_.reset();
    reported_.reset();
    if (sdl_) {
        sdl_ = false;
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    }
    onState_(GamepadState::neutral);
}

void GamepadCapture::pump() {
    if (!sdl_) {
        return;
    }
    SDL_PumpEvents();
    std::array<SDL_Event, 32> events;
    int taken = 0;
    do {
        taken = SDL_PeepEvents(events.data(), int(events.size()), SDL_GETEVENT,
                               SDL_CONTROLLERAXISMOTION, SDL_CONTROLLERSENSORUPDATE);
        for (int i = 0; i < taken; ++i) {
            handle(events[std::size_t(i)]);
        }
    } while (taken == int(events.size()));
    // The joystick events under them are no one's: left, they would fill SDL's queue and
    // crowd out the controller events.
    SDL_FlushEvents(SDL_JOYAXISMOTION, SDL_JOYBATTERYUPDATED);
}

void GamepadCapture::open(int deviceIndex) {
    if (!SDL_IsGameController(deviceIndex) || find(SDL_JoystickGetDeviceInstanceID(deviceIndex))) {
        return;
    }
    std::unique_ptr<SDL_GameController, Closer> handle(SDL_GameControllerOpen(deviceIndex));
    if (!handle) {
        Log::input().warn("gamepad: cannot open controller {}: {}", deviceIndex, SDL_GetError());
        return;
    }
    Controller controller;
    controller.id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(handle.get()));
    const SDL_GameControllerType type = SDL_GameControllerGetType(handle.get());
    controller.hasTouchpad = type == SDL_CONTROLLER_TYPE_PS4 || type == SDL_CONTROLLER_TYPE_PS5;
    for (int axis = 0; axis < SDL_CONTROLLER_AXIS_MAX; ++axis) {
        const auto sdlAxis = static_cast<SDL_GameControllerAxis>(axis);
        setAxis(controller.state, sdlAxis, SDL_GameControllerGetAxis(handle.get(), sdlAxis));
    }
    for (int button = 0; button < SDL_CONTROLLER_BUTTON_MAX; ++button) {
        const bool down = SDL_GameControllerGetButton(
                              handle.get(), static_cast<SDL_GameControllerButton>(button)) != 0;
        setSdlButton(controller.state, Uint8(button), down, controller.hasTouchpad);
    }
    const char* name = SDL_GameControllerName(handle.get());
    Log::input().info("gamepad: {}", name ? name : "unknown");
    controller.handle = std::move(handle);
    controllers_.push_back(std::move(controller));
    if (!current_) {
        current_ = controllers_.back().id;
    }
}

void GamepadCapture::handle(const SDL_Event& event) {
    switch (event.type) {
        case SDL_CONTROLLERDEVICEADDED: {
            const bool had = current_.has_value();
            open(event.cdevice.which);
            if (!had && current_) {
                report();
            }
            break;
        }
        case SDL_CONTROLLERDEVICEREMOVED: {
            const std::int32_t id = event.cdevice.which;
            if (std::erase_if(controllers_, [&](const Controller& c) { return c.id == id; }) == 0) {
                break;
            }
            if (current_ == id) {
                current_.reset();
                if (!controllers_.empty()) {
                    current_ = controllers_.front().id;
                }
                report();
            }
            break;
        }
        case SDL_CONTROLLERAXISMOTION:
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP: {
            // The same instance id sits at the same place in all three event kinds.
            Controller* controller = find(event.cbutton.which);
            if (!controller) {
                break;
            }
            if (event.type == SDL_CONTROLLERAXISMOTION) {
                setAxis(controller->state, static_cast<SDL_GameControllerAxis>(event.caxis.axis),
                        event.caxis.value);
            } else {
                setSdlButton(controller->state, event.cbutton.button,
                             event.type == SDL_CONTROLLERBUTTONDOWN, controller->hasTouchpad);
            }
            current_ = controller->id;
            report();
            break;
        }
        default:
            break;
    }
}

GamepadCapture::Controller* GamepadCapture::find(std::int32_t id) {
    const auto found = std::find_if(controllers_.begin(), controllers_.end(),
                                    [&](const Controller& c) { return c.id == id; });
    return found == controllers_.end() ? nullptr : &*found;
}

void GamepadCapture::report() {
    const Controller* controller = current_ ? find(*current_) : nullptr;
    const GamepadState& state = controller ? controller->state : GamepadState::neutral;
    // SDL re-centres a controller before it goes: that and its removal are one change.
    if (reported_ == state) {
        return;
    }
    reported_ = state;
    onState_(state);
}

}  // namespace qm
