#pragma once

#include <cstdint>
#include <optional>

namespace qm {

// What is true of a stream window when an event reaches its input coordinator.
struct GrabFacts {
    // Qt's focus is on the window, a menu or a dialog inside it maybe.
    bool focused = false;
    // The window is the window manager's active window; none when it does not say.
    std::optional<bool> active;
    // No menu or sheet inside the window has the keyboard.
    bool keysFree = false;
    // The control mode plays keys the desktop would take: key mapping, or a locked pointer.
    bool gameKeys = false;
    // A look zone plays the mouse, the pointer shown too.
    bool gameMouse = false;
    // The stream starts again (HD/SD) under the game.
    bool restarting = false;
};

// What reaches the coordinator that may change what it holds.
enum class GrabEvent : std::uint8_t {
    changed,    // a fact: the focus, the active window, the mode, a menu, the editor, the stream
    superDown,  // while the window has the keyboard
    superUp,
    handedOn,     // a chord went on to the desktop
    playerInput,  // a key, click or motion of the player's reached the window
    idle,         // a minute without the player
    refused,      // another client has the keyboard
    focusLost,    // the keys held now go up elsewhere
};

// What the window holds of the display's keyboard and pointer, and why.
struct GrabState {
    // Nothing is held until the player's next input in the window: the player was away, a chord
    // went to the desktop, or another client has the keyboard.
    bool yielded = false;
    bool superHeld = false;
    bool keyboard = false;
    bool mouse = false;
};

// The one rule for the grabs: the window holds the keyboard or the pointer only while it is in
// front, both to Qt and to the window manager, and the game wants them.
bool inFront(const GrabFacts& facts);
GrabState nextGrabs(GrabState state, GrabEvent event, const GrabFacts& facts);

}  // namespace qm
