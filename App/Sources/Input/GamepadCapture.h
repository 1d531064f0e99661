#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "InputRouter/Gamepad.h"

union SDL_Event;
struct _SDL_GameController;

namespace qm {

// Follows the game controllers SDL knows, chooses one (the last to give input) and reports
// its complete state every time one of its elements changes. SDL's controller events are
// pumped by the owner's tick on the GUI thread, which initialised SDL; they arrive also while
// the application is in the background. Without SDL's controller support it reports only the
// neutral states of start() and stop(). GUI thread only.
class GamepadCapture {
public:
    using OnState = std::function<void(const GamepadState&)>;

    explicit GamepadCapture(OnState onState);
    GamepadCapture(const GamepadCapture&) = delete;
    GamepadCapture& operator=(const GamepadCapture&) = delete;
    ~GamepadCapture();

    // Opens every controller and reports the chosen one's state, or neutral, at once.
    void start();
    // Closes them and reports a neutral state.
    void stop();
    // Takes the controller events that arrived since the last call.
    void pump();

private:
    struct Closer {
        void operator()(_SDL_GameController* controller) const noexcept;
    };
    struct Controller {
        std::int32_t id = -1;  // SDL's instance id
        std::unique_ptr<_SDL_GameController, Closer> handle;
        bool hasTouchpad = false;  // DualShock 4 and DualSense only
        GamepadState state;
    };

    void open(int deviceIndex);
    void handle(const SDL_Event& event);
    Controller* find(std::int32_t id);
    // The current controller's state, or neutral, unless it is the one last reported.
    void report();

    OnState onState_;
    bool sdl_ = false;  // the controller subsystem is ours to quit
    bool started_ = false;
    std::vector<Controller> controllers_;
    std::optional<std::int32_t> current_;
    std::optional<GamepadState> reported_;
};

}  // namespace qm
