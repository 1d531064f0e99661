#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QWindow>
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "Input/InputView.h"

struct xcb_connection_t;

namespace qm {

// The display's keyboard as a stream window shares it with the desktop, on X11. While the
// window is watched, the X server itself grabs the keyboard for it as a Super key goes down
// over it, so that no chord of the app's Super shortcuts reaches the window manager first,
// however fast it is typed and however busy the app is; the grab ends as Super goes up. The
// window can take the whole keyboard for a game, and hand a Super chord the app does not use,
// or Alt+Tab, on to the desktop. Does nothing off X11. GUI thread only.
class DesktopKeyboard final : private QAbstractNativeEventFilter {
public:
    // On the application's connection to the display.
    DesktopKeyboard();
    // On another, which must outlive it.
    explicit DesktopKeyboard(xcb_connection_t* connection);
    DesktopKeyboard(const DesktopKeyboard&) = delete;
    DesktopKeyboard& operator=(const DesktopKeyboard&) = delete;
    ~DesktopKeyboard() override;

    // The window, shown, whose Super keys the server grabs; none stops.
    void watch(QWindow* window);
    // False when another client holds the keyboard.
    bool grab(QWindow& window);
    // Ends any grab of the keyboard this client holds, the one Super started too.
    void release();
    // Presses and releases the key again, with a key of the modifier down (pressed for it when
    // none is), so that the desktop's binding of the chord takes it, past any grab of the
    // window's; while the user holds the key again, once it goes up. Must come after the key went
    // up. What comes back to the window, as nothing binds the chord, is dropped.
    void handOn(std::uint8_t keycode, ChordModifier held);

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void grabSuperKeys(bool grab);
    // Hands on the waiting chords, oldest first, up to one whose key is held again.
    void handOnWaiting();
    // Fakes the key's press and release, in a press and release of `modifier` when asked, and
    // notes what comes back of them.
    void typeChord(std::uint8_t keycode, std::uint8_t modifier, bool pressModifier);
    // The request's number.
    std::uint32_t fake(std::uint8_t type, std::uint8_t keycode);

    xcb_connection_t* connection_ = nullptr;
    std::vector<std::uint8_t> superKeys_;
    std::vector<std::uint8_t> altKeys_;
    QPointer<QWindow> watched_;
    std::uint32_t watchedId_ = 0;
    // The window grab() took the keyboard for, until release().
    std::uint32_t grabbedFor_ = 0;
    // Marks the end of what a hand-on sends back: a client message to the watched window.
    std::uint32_t handedOnAtom_ = 0;
    // What a hand-on sends back to the window: its keys, made by the requests numbered from
    // `first` to `last`.
    struct Echoes {
        std::array<std::uint8_t, 2> keys{};
        std::uint32_t first = 0;
        std::uint32_t last = 0;
    };
    // Of the hand-ons whose end has not come back yet, oldest first.
    std::deque<Echoes> echoes_;
    struct Chord {
        std::uint8_t keycode = 0;
        ChordModifier held = ChordModifier::super;
    };
    // Chords to hand on, oldest first.
    std::deque<Chord> waiting_;
};

}  // namespace qm
