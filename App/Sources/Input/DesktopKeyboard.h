#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Input/InputView.h"
#include "Input/KeyWatcher.h"

struct xcb_connection_t;

namespace qm {

// How long a hand-on keeps the modifiers it pressed for a switcher at most, as the window manager
// may be slow to take the keyboard, while a watcher would let go of them should the app end or
// stop. Without one they go up with the chord: a key kept would outlive an app killed meanwhile.
struct KeepLimits {
    std::chrono::milliseconds watched{3000};
};

// The display's keyboard as a stream window shares it with the desktop, on X11. While the
// window is watched, the X server itself grabs the keyboard for it as a Super key goes down
// over it, so that no chord of the app's Super shortcuts reaches the window manager first,
// however fast it is typed and however busy the app is; the grab ends as Super goes up. The
// window can take the whole keyboard for a game, and hand a Super chord the app does not use,
// or Alt+Tab, on to the desktop. Does nothing off X11. GUI thread only.
class DesktopKeyboard final : private QAbstractNativeEventFilter {
public:
    // On the application's connection to the display, with the installed key watcher.
    DesktopKeyboard();
    // On another, which must outlive it, with that key watcher program (none when empty).
    explicit DesktopKeyboard(xcb_connection_t* connection, std::string watcher = {},
                             KeepLimits limits = {});
    DesktopKeyboard(const DesktopKeyboard&) = delete;
    DesktopKeyboard& operator=(const DesktopKeyboard&) = delete;
    ~DesktopKeyboard() override;

    // The window, shown, whose Super keys the server grabs; none stops.
    void watch(QWindow* window);
    // False when another client holds the keyboard, or is about to for a chord handed on.
    bool grab(QWindow& window);
    // Ends any grab of the keyboard this client holds, the one Super started too.
    void release();
    // Presses and releases the key again, with a key of each of the chord's modifiers down
    // (pressed for it when none is), so that the desktop's binding of the chord takes it, past
    // any grab of the window's; while the user holds the key again, once it goes up. Must come
    // after the key went up. What comes back to the window, as nothing binds the chord, is
    // dropped.
    void handOn(std::uint8_t keycode, DesktopChord chord);
    // Drops the chords that wait for their key to go up.
    void forgetWaiting() { waiting_.clear(); }
    // Whether the display has the key down now.
    bool isDown(std::uint8_t key);

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void grabSuperKeys(bool grab);
    // Hands on the waiting chords, oldest first, up to one whose key is held again.
    void handOnWaiting();
    // Ends the keyboard taken again for a Super held past a hand-on, unless the game holds it.
    void endSuperHold();
    // Fakes the key's press and release inside presses of the modifier keys, released after
    // unless kept, and notes what comes back of them.
    void typeChord(std::uint8_t keycode, const std::vector<std::uint8_t>& modifiers, bool keep);
    // Notes that what the requests numbered from `first` to `last` bring the window is theirs,
    // up to a mark sent after them.
    void noteEchoes(const std::array<std::uint8_t, 3>& keys, std::uint32_t first,
                    std::uint32_t last);
    // Lets go of the modifiers a hand-on keeps, once the window manager has the keyboard or the
    // focus, each hand-on's mark back.
    void releaseKeptOnceTaken();
    void releaseKept();
    // Before the keys are pressed to be kept: the watcher lets go of them should the app end or
    // stop first. False when no watcher runs to.
    bool guard(const std::vector<std::uint8_t>& keys);
    // The request's number.
    std::uint32_t fake(std::uint8_t type, std::uint8_t keycode);

    xcb_connection_t* connection_ = nullptr;
    std::vector<std::uint8_t> superKeys_;
    std::vector<std::uint8_t> altKeys_;
    std::vector<std::uint8_t> shiftKeys_;
    QPointer<QWindow> watched_;
    std::uint32_t watchedId_ = 0;
    // The window grab() took the keyboard for, until release().
    std::uint32_t grabbedFor_ = 0;
    // Marks the end of what a hand-on sends back: a client message to the watched window, with
    // the number of its last request.
    std::uint32_t handedOnAtom_ = 0;
    // What a hand-on sends back to the window: its keys, made by the requests numbered from
    // `first` to `last`.
    struct Echoes {
        std::array<std::uint8_t, 3> keys{};
        std::uint32_t first = 0;
        std::uint32_t last = 0;
    };
    // Of the hand-ons whose end has not come back yet, oldest first.
    std::deque<Echoes> echoes_;
    struct Chord {
        std::uint8_t keycode = 0;
        DesktopChord chord;
    };
    // Chords to hand on, oldest first.
    std::deque<Chord> waiting_;
    // A window manager's switcher (Alt+Tab) waits for the release of the modifiers it was typed
    // with, which it sees only once it holds the keyboard: the keys a hand-on pressed for an Alt
    // chord stay down until the window lost the keyboard or the focus after it, or the limit.
    std::vector<std::uint8_t> kept_;
    // Started for the first keep, and again for the next once it ended.
    std::string watcherProgram_;
    std::unique_ptr<KeyWatcher> watcher_;
    KeepLimits keepLimits_;
    bool keyboardElsewhere_ = false;
    // The keyboard taken again after a hand-on for a Super the user holds, until it goes up.
    bool superHeld_ = false;
    QTimer keptLimit_;
};

}  // namespace qm
