#include "Input/GrabRule.h"

namespace qm {

bool inFront(const GrabFacts& facts) {
    // The app's own focus events miss a change made while it held the keyboard, and a window
    // manager may move them late: where it names its active window, that counts too.
    return facts.focused && facts.active.value_or(true);
}

GrabState nextGrabs(GrabState state, GrabEvent event, const GrabFacts& facts) {
    const bool front = inFront(facts);
    switch (event) {
        case GrabEvent::changed:
            break;
        case GrabEvent::superDown:
            state.superHeld = true;
            break;
        case GrabEvent::superUp:
            state.superHeld = false;
            break;
        case GrabEvent::handedOn:
        case GrabEvent::idle:
        case GrabEvent::refused:
            state.yielded = true;
            break;
        case GrabEvent::playerInput:
            // Typed into another window past a grab, it is no sign of the player's return.
            state.yielded = state.yielded && !front;
            break;
        case GrabEvent::focusLost:
            state.superHeld = false;
            break;
    }
    const bool may = front && !state.yielded;
    // Super held keeps what is held: it may carry more of the app's shortcuts. So does a
    // restart: a key held for the game would repeat under Alt into the desktop's chords.
    state.keyboard = may && ((facts.gameKeys && facts.keysFree) ||
                             (state.keyboard && (state.superHeld || facts.restarting)));
    // Also with the pointer shown (Alt held, a menu open): window managers take Alt+click.
    state.mouse = may && facts.gameMouse;
    return state;
}

}  // namespace qm
