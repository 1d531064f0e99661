#include "Input/InputCapture.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QQuickWindow>
#include <QStyleHints>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <bit>
#include <utility>

#include "Input/EvdevKeyTable.h"
#include "Input/HeldKeys.h"

namespace qm {
namespace {

using Shortcut = InputCapture::Shortcut;

constexpr std::uint16_t capsLockKey = 57;
constexpr std::uint16_t tabKey = 48;
constexpr std::uint16_t f4Key = 118;
constexpr std::uint16_t commandKeys[] = {55, 54};
// Caps Lock in X11's modifier state.
constexpr quint32 x11Lock = 0x2;

// The side-specific modifier keys; either side of a pair sets the same flag.
struct SideKey {
    std::uint16_t keyCode;
    std::uint16_t otherSide;
    KeyModifiers flag;
};
constexpr std::array<SideKey, 6> sideKeys{{
    {56, 60, KeyModifiers::shift},
    {60, 56, KeyModifiers::shift},
    {59, 62, KeyModifiers::control},
    {62, 59, KeyModifiers::control},
    {58, 61, KeyModifiers::option},
    {61, 58, KeyModifiers::option},
}};

// Digits 1 to 9, for layouts 1 to 9.
constexpr std::array<std::uint16_t, 9> digitKeys{18, 19, 20, 21, 23, 22, 26, 28, 25};
// F10 and F11, the desktop's keys for the menu bar and full screen: the window's, never the
// phone's.
constexpr std::array<std::uint16_t, 2> windowKeys{109, 103};

std::optional<std::size_t> sideIndex(std::uint16_t keyCode) {
    const auto found = std::find_if(sideKeys.begin(), sideKeys.end(),
                                    [&](const SideKey& side) { return side.keyCode == keyCode; });
    return found == sideKeys.end() ? std::nullopt
                                   : std::optional(std::size_t(found - sideKeys.begin()));
}

bool isWindowKey(std::uint16_t keyCode) {
    return std::ranges::find(windowKeys, keyCode) != windowKeys.end();
}

bool isCommandKey(std::uint16_t keyCode) {
    return std::ranges::find(commandKeys, keyCode) != std::end(commandKeys);
}

bool isModifierKey(std::uint16_t keyCode) {
    return keyCode == capsLockKey || isCommandKey(keyCode) || sideIndex(keyCode).has_value();
}

// On xcb and Wayland the native scan code is the evdev code + 8.
std::optional<std::uint16_t> macKeyCode(const QKeyEvent& event) {
    const quint32 scanCode = event.nativeScanCode();
    return scanCode < 8 ? std::nullopt : EvdevKeyTable::macKeyCode(scanCode - 8);
}

KeyModifiers modifiers(const QKeyEvent& event) {
    const Qt::KeyboardModifiers qt = event.modifiers();
    KeyModifiers result;
    if (qt & Qt::ShiftModifier) {
        result.insert(KeyModifiers::shift);
    }
    if (qt & Qt::ControlModifier) {
        result.insert(KeyModifiers::control);
    }
    if (qt & Qt::AltModifier) {
        result.insert(KeyModifiers::option);
    }
    if (qt & Qt::MetaModifier) {
        result.insert(KeyModifiers::command);
    }
    if (event.nativeModifiers() & x11Lock) {
        result.insert(KeyModifiers::capsLock);
    }
    return result;
}

OverlayClickFilter::Press pressOf(const QMouseEvent& event) {
    return {std::countr_zero(static_cast<unsigned>(event.button())), event.scenePosition(),
            event.timestamp()};
}

// What Qt itself takes for a double click.
OverlayClickFilter::DoubleClick doubleClick() {
    const QStyleHints* hints = QGuiApplication::styleHints();
    return {std::uint64_t(std::max(0, hints->mouseDoubleClickInterval())),
            double(hints->mouseDoubleClickDistance())};
}

// Keys and buttons pressed while streaming are released on the phone even once it stopped.
bool forwards(const InputEvent& event, bool streaming) {
    if (streaming) {
        return true;
    }
    if (std::holds_alternative<KeyUpEvent>(event)) {
        return true;
    }
    const auto* button = std::get_if<MouseButtonEvent>(&event);
    return button && !button->down;
}

KeyModifiers chordModifiers(KeyModifiers modifiers) {
    return modifiers & KeyModifiers{KeyModifiers::shift, KeyModifiers::control,
                                    KeyModifiers::option, KeyModifiers::command};
}

// The window shortcut of a key pressed with Super held, or Alt+F4, if any.
std::optional<Shortcut> shortcut(std::uint16_t keyCode, KeyModifiers modifiers) {
    const KeyModifiers held = chordModifiers(modifiers);
    // The desktop's own close, which it cannot see while a game holds the keyboard.
    if (held == KeyModifiers::option && keyCode == f4Key) {
        return Shortcut{Shortcut::Kind::closeWindow};
    }
    if (held == KeyModifiers::command) {
        switch (keyCode) {
            case 13:  // W
                return Shortcut{Shortcut::Kind::closeStream};
            case 14:  // E
                return Shortcut{Shortcut::Kind::toggleEditor};
            case 18:  // 1
                return Shortcut{Shortcut::Kind::mode, InputMode::keyboardMouse};
            case 19:  // 2
                return Shortcut{Shortcut::Kind::mode, InputMode::keymap};
            default:
                return std::nullopt;
        }
    }
    if (held == (KeyModifiers::control | KeyModifiers::command)) {
        const auto digit = std::ranges::find(digitKeys, keyCode);
        if (digit != digitKeys.end()) {
            return Shortcut{Shortcut::Kind::layout, InputMode::keyboardMouse,
                            std::size_t(digit - digitKeys.begin())};
        }
    }
    return std::nullopt;
}

// A Super chord that neither the window's shortcuts nor, as it reached the window as a key
// press, the application's took; Alt+Tab, which the desktop sees only while the window does not
// hold the keyboard.
std::optional<DesktopChord> desktopChord(const QKeyEvent& press) {
    if (press.nativeScanCode() == 0) {
        return std::nullopt;
    }
    const std::optional<std::uint16_t> keyCode = macKeyCode(press);
    const bool shifted = press.modifiers().testFlag(Qt::ShiftModifier);
    if (press.modifiers() & Qt::MetaModifier) {
        if (!keyCode || (!isModifierKey(*keyCode) && !shortcut(*keyCode, modifiers(press)))) {
            return DesktopChord{ChordModifier::super, shifted};
        }
        return std::nullopt;
    }
    const KeyModifiers held = chordModifiers(modifiers(press)) - KeyModifiers::shift;
    if (keyCode == tabKey && held == KeyModifiers::option) {
        return DesktopChord{ChordModifier::alt, shifted};
    }
    return std::nullopt;
}

}  // namespace

InputCapture::InputCapture(QQuickItem& view, Client& client) : view_(&view), client_(client) {}

InputCapture::~InputCapture() {
    stop();
}

void InputCapture::start() {
    if (!started_) {
        started_ = true;
        QCoreApplication::instance()->installEventFilter(this);
    }
}

void InputCapture::stop() {
    if (started_) {
        started_ = false;
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

bool InputCapture::eventFilter(QObject* receiver, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
        case QEvent::Wheel:
            break;
        default:
            return false;
    }
    const QQuickItem* view = view_.data();
    if (!view || receiver != view->window()) {
        return false;
    }
    const bool isKey = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    const auto stamp = std::uint32_t(static_cast<const QInputEvent&>(*event).timestamp());
    bool repeat = false;
    if (isKey || event->type() == QEvent::ShortcutOverride) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        HeldKeys::shared().note(key);  // the filters after this one may never see it
        repeat = noteKey(key);
        if (desktopKey_ && *desktopKey_ == key.nativeScanCode()) {
            // Repeated or let go, the desktop's chord is no input of the player's.
            if (event->type() == QEvent::KeyRelease && !repeat) {
                desktopKey_.reset();
                client_.onDesktopKey(key.nativeScanCode(), desktopChord_, false, stamp);
            }
            return isKey;
        }
    }
    client_.onDisplayTime(stamp);
    if (isInput(*event)) {
        client_.onInput();
    }
    // Also while a menu or a dialog in the window has the keyboard: Super carries the app's
    // shortcuts there too, and the desktop's.
    if (isKey) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        // A key held from before its modifier repeats under it, and is no chord.
        const bool chordPress = event->type() == QEvent::KeyPress && HeldKeys::shared().began(key);
        if (const std::optional<DesktopChord> chord =
                chordPress ? desktopChord(key) : std::nullopt) {
            desktopKey_ = key.nativeScanCode();
            desktopChord_ = *chord;
            client_.onDesktopKey(*desktopKey_, *chord, true, stamp);
            return true;
        }
        const std::optional<std::uint16_t> keyCode = macKeyCode(key);
        if (keyCode && isCommandKey(*keyCode) && !repeat) {
            client_.onCommandKey(event->type() == QEvent::KeyPress);
        }
    }
    if (!client_.isKeyWindow()) {
        if (event->type() == QEvent::MouseButtonPress) {
            // A dialog over the window, or the window not yet the desktop's, has the press.
            clickFilter_.noteTaken(pressOf(static_cast<const QMouseEvent&>(*event)), doubleClick());
        }
        return false;
    }
    // A stalled app reads what was aimed at another window, past its grab, long after.
    latePress_ = false;
    if (event->type() == QEvent::KeyPress && !repeat) {
        latePress_ = client_.tooLate(stamp, static_cast<const QKeyEvent&>(*event).nativeScanCode());
    } else if (event->type() == QEvent::MouseButtonPress) {
        latePress_ = client_.tooLate(stamp, std::nullopt);
    }
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Accepted, it keeps a menu's shortcut from acting on a key the stream takes.
            if (keyPressed(static_cast<QKeyEvent&>(*event), true, repeat)) {
                event->accept();
                return true;
            }
            return false;
        case QEvent::KeyPress:
            return keyPressed(static_cast<QKeyEvent&>(*event), false, repeat);
        case QEvent::KeyRelease:
            return keyReleased(static_cast<QKeyEvent&>(*event), repeat);
        case QEvent::MouseMove:
            mouseMoved(static_cast<QMouseEvent&>(*event));
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            return mouseButton(static_cast<QMouseEvent&>(*event),
                               event->type() == QEvent::MouseButtonPress);
        default:
            wheel(static_cast<QWheelEvent&>(*event));
            return false;
    }
}

bool InputCapture::isInput(const QEvent& event) {
    switch (event.type()) {
        case QEvent::KeyRelease:
        case QEvent::MouseButtonRelease:
            return false;
        case QEvent::MouseMove: {
            // The display reports the pointer where it is as a grab ends, and a locked pointer
            // where it was warped: no motion. A locked pointer's tells its motion.
            const QPointF at = static_cast<const QMouseEvent&>(event).globalPosition();
            return std::exchange(pointerAt_, at) != at && !client_.isCursorCaptured();
        }
        default:
            // A key a shortcut takes reaches the window only as its override.
            return true;
    }
}

bool InputCapture::noteKey(const QKeyEvent& event) {
    const quint32 code = event.nativeScanCode();
    if (code >= keysDown_.size()) {
        return event.isAutoRepeat();
    }
    // X11 repeats a held key as a release and a press, which Qt marks by looking ahead for the
    // press; the display's detectable auto-repeat sends the presses alone.
    const bool repeat =
        event.isAutoRepeat() || (event.type() != QEvent::KeyRelease && keysDown_[code]);
    if (event.type() != QEvent::ShortcutOverride && !repeat) {
        keysDown_[code] = event.type() == QEvent::KeyPress;
    }
    return repeat;
}

bool InputCapture::keyPressed(QKeyEvent& event, bool overrideOnly, bool repeat) {
    const std::optional<std::uint16_t> keyCode = macKeyCode(event);
    if (!keyCode || isWindowKey(*keyCode)) {
        return false;
    }
    if (isModifierKey(*keyCode)) {
        if (!overrideOnly) {
            modifierKey(*keyCode, event, true, repeat);
        }
        return false;
    }
    KeyModifiers held = modifiers(event);
    HeldKeys& keys = HeldKeys::shared();
    if (!keys.wentDownUnderSuper(event)) {
        held.remove(KeyModifiers::command);  // held from before Super, the key plays on
    }
    if (const std::optional<Shortcut> found = shortcut(*keyCode, held);
        found || held.contains(KeyModifiers::command)) {
        if (!found) {
            return false;  // for the menus, else the desktop's
        }
        if (!overrideOnly && keys.began(event)) {
            client_.onShortcut(*found);
        }
        return true;
    }
    if (!client_.isStreaming()) {
        return false;
    }
    const bool passes = client_.passKeysThrough(*keyCode, held);
    if (!overrideOnly) {
        deliver(KeyDownEvent{*keyCode, held, repeat}, true);
    }
    return !passes;
}

bool InputCapture::keyReleased(const QKeyEvent& event, bool repeat) {
    const std::optional<std::uint16_t> keyCode = macKeyCode(event);
    if (!keyCode || isWindowKey(*keyCode)) {
        return false;
    }
    if (isModifierKey(*keyCode)) {
        modifierKey(*keyCode, event, false, repeat);
        return false;
    }
    KeyModifiers held = modifiers(event);
    if (!HeldKeys::shared().wentDownUnderSuper(event)) {
        held.remove(KeyModifiers::command);  // held from before Super, as it was pressed
    }
    if (!repeat) {
        client_.onEvent(KeyUpEvent{*keyCode, held});
    }
    return !held.contains(KeyModifiers::command) && client_.isStreaming() &&
           !client_.passKeysThrough(*keyCode, held);
}

void InputCapture::modifierKey(std::uint16_t keyCode, const QKeyEvent& event, bool down,
                               bool repeat) {
    if (repeat) {
        return;
    }
    KeyModifiers held = modifiers(event);
    if (keyCode == capsLockKey) {
        // Each press toggles the lock: a whole press on the phone. The state read is the one
        // before the press.
        if (down) {
            held = held ^ KeyModifiers::capsLock;
            const bool streaming = client_.isStreaming();
            deliver(KeyDownEvent{keyCode, held, false}, streaming);
            deliver(KeyUpEvent{keyCode, held}, streaming);
        }
        return;
    }
    const std::optional<std::size_t> side = sideIndex(keyCode);
    if (!side) {
        return;  // Super carries the shortcuts
    }
    const unsigned bit = 1u << *side;
    heldSides_ = down ? heldSides_ | bit : heldSides_ & ~bit;
    const SideKey& key = sideKeys[*side];
    const bool otherHeld = (heldSides_ & (1u << *sideIndex(key.otherSide))) != 0;
    // Flags after the change, whatever the platform reported.
    if (down || otherHeld) {
        held.insert(key.flag);
    } else {
        held.remove(key.flag);
    }
    const bool streaming = client_.isStreaming();
    if (down) {
        deliver(KeyDownEvent{keyCode, held, false}, streaming);
    } else {
        deliver(KeyUpEvent{keyCode, held}, streaming);
    }
}

void InputCapture::mouseMoved(const QMouseEvent& event) {
    InputEvent produced;
    if (!client_.isCursorCaptured()) {
        produced = MouseMovedEvent{viewPoint(event.scenePosition())};
    } else {
        const std::optional<QPointF> motion = client_.lockedMotion(event.globalPosition());
        if (!motion) {
            return;
        }
        client_.onInput();
        if (client_.rawMouseActive()) {
            return;
        }
        produced = MouseDeltaEvent{motion->x(), motion->y()};
    }
    if (client_.isStreaming()) {
        client_.onEvent(produced);
    }
}

bool InputCapture::mouseButton(const QMouseEvent& event, bool down) {
    const auto bits = static_cast<unsigned>(event.button());
    if (bits == 0) {
        return false;
    }
    buttonsDown_ = down ? buttonsDown_ | bits : buttonsDown_ & ~bits;
    const OverlayClickFilter::Press press = pressOf(event);
    if (!clickFilter_.forwards(press, down, client_.overlayFrames(), doubleClick())) {
        return false;
    }
    const int button = press.button;
    // Asked before the client hears it: the press may end what made it the client's.
    const bool taken = down && client_.isStreaming() && client_.takesPresses();
    deliver(MouseButtonEvent{button, down, viewPoint(event.scenePosition())},
            client_.isStreaming());
    return taken;
}

void InputCapture::wheel(const QWheelEvent& event) {
    if (!client_.isStreaming()) {
        return;
    }
    // A trackpad reports pixels, a wheel eighths of a degree, 120 to a notch.
    const QPoint pixels = event.pixelDelta();
    const QPointF notches =
        pixels.isNull() ? QPointF(event.angleDelta()) / 120.0 : QPointF(pixels) * 0.1;
    if (notches.isNull()) {
        return;  // a trackpad's start or end of scrolling
    }
    client_.onEvent(ScrollEvent{notches.x(), notches.y(), viewPoint(event.position())});
}

void InputCapture::deliver(const InputEvent& event, bool streaming) {
    if (!latePress_ && forwards(event, streaming)) {
        client_.onEvent(event);
    }
}

PointF InputCapture::viewPoint(QPointF scenePosition) const {
    const QPointF point = view_ ? view_->mapFromScene(scenePosition) : scenePosition;
    return {point.x(), point.y()};
}

}  // namespace qm
