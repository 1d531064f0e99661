#pragma once

#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QQuickItem>
#include <QRectF>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "Input/InputView.h"
#include "Input/OverlayClickFilter.h"
#include "InputRouter/InputEvent.h"

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace qm {

// Turns the keys, buttons, motion and wheel of one stream window into input events and window
// shortcuts. While started it filters every event of the application, so it sees them before
// the window's items do; it takes those the window itself receives while it has the focus (Qt
// Quick resends them to the items through the same filter). Keys are swallowed, and of the
// mouse only a press the client takes for itself: the rest goes on to the items, so the HUD's
// and the editor's controls keep working. A Super chord that neither the window's shortcuts nor
// the application's took is the desktop's, as Alt+Tab is: it is swallowed, and its client hands
// it on. Alt+F4 closes the window. It knows nothing of modes, keymaps or sessions: its client
// answers and receives. Keys are Mac key codes by position; Super is command. GUI thread only.
class InputCapture final : public QObject {
public:
    struct Shortcut {
        enum class Kind { mode, layout, toggleEditor, closeStream, closeWindow };

        Kind kind = Kind::closeStream;
        InputMode mode = InputMode::keyboardMouse;  // of a mode shortcut
        std::size_t layout = 0;                     // of a layout shortcut, from 0

        bool operator==(const Shortcut&) const = default;
    };

    class Client {
    public:
        virtual bool isKeyWindow() const = 0;
        virtual bool isCursorCaptured() const = 0;
        // While locked: the motion a pointer event at `globalPosition` stands for, if any.
        virtual std::optional<QPointF> lockedMotion(QPointF globalPosition) = 0;
        virtual bool isStreaming() const = 0;
        // Whether the key, pressed with those modifiers, also reaches the window's own controls.
        virtual bool passKeysThrough(std::uint16_t keyCode, KeyModifiers held) const = 0;
        // Asked for each locked motion: true when raw mouse deltas carry the motion.
        virtual bool rawMouseActive() = 0;
        // In the window's content coordinates.
        virtual const QList<QRectF>& overlayFrames() const = 0;
        // Whether a button pressed now, outside the overlay controls, is the client's alone: it
        // then reaches none of the window's items.
        virtual bool takesPresses() const = 0;
        virtual void onEvent(const InputEvent& event) = 0;
        virtual void onShortcut(const Shortcut& shortcut) = 0;
        // Super went down or up: it carries the window's shortcuts and never reaches the phone.
        virtual void onCommandKey(bool held) = 0;
        // A key, button, motion or wheel of the player's reached the window, a menu or a dialog
        // in it maybe.
        virtual void onInput() = 0;
        // A chord of the desktop's went down, then up, at the display's time `stamp`;
        // `nativeKey` is the display's code.
        virtual void onDesktopKey(std::uint32_t nativeKey, DesktopChord chord, bool down,
                                  std::uint32_t stamp) = 0;
        // The display stamped the event read now at that time, in its milliseconds; a chord's
        // events come first.
        virtual void onDisplayTime(std::uint32_t stamp) = 0;
        // Whether a press the display stamped then is read too late to be played: the player
        // has moved on. Its key is the display's code, none for a button.
        virtual bool tooLate(std::uint32_t stamp, std::optional<std::uint32_t> nativeKey) = 0;

    protected:
        ~Client() = default;
    };

    // Events are taken in `view`'s coordinates, from the window it is in. The client must
    // outlive the capture.
    InputCapture(QQuickItem& view, Client& client);
    ~InputCapture() override;

    void start();
    void stop();
    // Keys and buttons held now are let go elsewhere: a key's next press here is a press, not a
    // repeat.
    void forgetHeldKeys() {
        keysDown_.reset();
        buttonsDown_ = 0;
    }
    // Whether the player holds a key or a button down in the window: input in progress.
    bool holdsInput() const { return keysDown_.any() || buttonsDown_ != 0; }
    // The desktop's chord whose key is down goes up elsewhere: its next press here is the
    // player's.
    void forgetDesktopKey() { desktopKey_.reset(); }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    // A key, button, motion or wheel of the player's: not a release, not a motion to where the
    // pointer was. A locked pointer's motion is told in mouseMoved().
    bool isInput(const QEvent& event);
    // True when the event is swallowed.
    // Whether the key event repeats a held key; notes a press or a release.
    bool noteKey(const QKeyEvent& event);
    bool keyPressed(QKeyEvent& event, bool overrideOnly, bool repeat);
    bool keyReleased(const QKeyEvent& event, bool repeat);
    void modifierKey(std::uint16_t keyCode, const QKeyEvent& event, bool down, bool repeat);
    void mouseMoved(const QMouseEvent& event);
    // True when the event is swallowed.
    bool mouseButton(const QMouseEvent& event, bool down);
    void wheel(const QWheelEvent& event);
    void deliver(const InputEvent& event, bool streaming);
    PointF viewPoint(QPointF scenePosition) const;

    QPointer<QQuickItem> view_;
    Client& client_;
    bool started_ = false;
    OverlayClickFilter clickFilter_;
    // The keys down, by the display's code.
    std::bitset<256> keysDown_;
    // The mouse buttons down, by Qt's bits.
    unsigned buttonsDown_ = 0;
    // The side-specific modifier keys held, by their bit in the side table.
    unsigned heldSides_ = 0;
    // The desktop's chord whose key is down, by the display's code, and its modifier.
    std::optional<std::uint32_t> desktopKey_;
    DesktopChord desktopChord_;
    std::optional<QPointF> pointerAt_;  // on the screen
    // The press being read is too late to be played; its release is played.
    bool latePress_ = false;
};

}  // namespace qm
