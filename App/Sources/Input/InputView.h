#pragma once

#include <cstdint>
#include <optional>

class QQuickItem;

namespace qm {

// The modifier a chord handed on to the desktop is typed with.
enum class ChordModifier : std::uint8_t { super, alt };

// A chord handed on to the desktop: its modifier, and Shift when it was held too (Alt+Shift+Tab
// goes the other way round).
struct DesktopChord {
    ChordModifier held = ChordModifier::super;
    bool shifted = false;

    bool operator==(const DesktopChord&) const = default;
};

// The place in a stream window that the input coordinator attaches to: the item whose
// coordinates events are taken in, and what the coordinator asks of its window. GUI thread only.
class InputView {
public:
    virtual ~InputView() = default;

    virtual QQuickItem& item() = 0;
    // The window has the keyboard focus, a menu or a dialog inside it maybe.
    virtual bool isWindowActive() const = 0;
    // The window has the keyboard focus and no menu inside it holds it.
    virtual bool isKeyWindow() const = 0;
    // The window manager has made the window its active one; none when it names none.
    virtual std::optional<bool> isActiveWindow() const = 0;
    // Some of the window can be seen.
    virtual bool isWindowVisible() const = 0;
    // A modal dialog is open over the window.
    virtual bool hasSheet() const = 0;
    // Shows the warning before key mapping is first used, as a sheet.
    virtual void presentEmulatorWarning() = 0;
    // Shows, over the stream, how to get the locked pointer back.
    virtual void presentCaptureNotice() = 0;
    // Takes every key of the display for the window, the desktop's own shortcuts too, or gives
    // them back. True while the window holds the keyboard: false when another client has it.
    virtual bool grabKeyboard(bool grab) = 0;
    // Keeps every click for the window, wherever the pointer is, or lets go.
    virtual void grabMouse(bool grab) = 0;
    // Presses and releases the key again for the desktop, with the chord's modifiers held, as if
    // the window held nothing: the desktop's own binding takes it. `nativeKey` is the display's.
    virtual void handKeyOn(std::uint32_t nativeKey, DesktopChord chord) = 0;
    // Drops the chords handed on that still wait for their key to go up.
    virtual void forgetChordsWaiting() = 0;
    // The display's time now, in the milliseconds it stamps events with; none when unknown.
    virtual std::optional<std::uint32_t> displayTime() = 0;
    // Whether the display has the key down now, whichever window its release would go to.
    virtual bool keyDown(std::uint32_t nativeKey) = 0;
    // Closes the window as its title bar's close button does.
    virtual void closeWindow() = 0;
};

}  // namespace qm
