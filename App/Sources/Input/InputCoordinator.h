#pragma once

#include <QPointer>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "IPhoneMirror/TimerSource.h"
#include "Input/CursorCapture.h"
#include "Input/GamepadCapture.h"
#include "Input/GamepadGate.h"
#include "Input/GrabRule.h"
#include "Input/InputCapture.h"
#include "Input/InputModel.h"
#include "Input/InputView.h"
#include "Input/RawMouseCapture.h"

namespace qm {

struct GameKeymaps;

// The one object that connects a stream window's input to the phone. While attached to the
// window's input view it owns the keyboard-and-mouse capture, the pointer lock with its raw
// mouse motion and the controller capture; it follows the model's current session and drives
// that session's router with a tick every 8 ms; it applies the input mode when streaming starts
// and when the user asks for another; it routes every event to the keymap editor while one is
// open, else to the router; and it decides on every change whether the pointer is locked and
// what the window holds of the keyboard and the mouse, which the desktop gets back while the
// player is away. GUI thread only.
class InputCoordinator final : private InputCapture::Client {
public:
    struct Services {
        TimerSource& timers;
        RawMouseHub& rawMouse;
        std::function<void()> beep;
        std::function<std::uint64_t()> now;  // host-clock nanoseconds
    };

    // When the start mode has been applied to the followed router.
    struct StartModeGate {
        enum class Step { none, stopped, apply };

        bool isApplied = false;     // during the current streaming period
        bool wasStreaming = false;  // at the previous tick
        bool restarted = false;     // streaming stopped at least once: a start is a restart

        Step step(bool streaming) noexcept;
        bool operator==(const StartModeGate&) const = default;
    };

    static constexpr std::chrono::milliseconds tickInterval{8};
    // How long without the player's input a game keeps the keyboard and the mouse: after that
    // the desktop's screen locker can take them.
    static constexpr std::chrono::seconds idleLimit{60};
    // How long a chord of the desktop's is waited for after its key went down or up, by the
    // display's time: its release here, or its key going up to be handed on. A key let go in
    // another window never comes back; one the display still has down does, and is waited for.
    static constexpr std::chrono::milliseconds desktopChordLimit{1000};
    // A press read longer than this after the display stamped it is not played on the phone.
    static constexpr std::chrono::milliseconds latePressLimit{1000};
    // How many streams show the notice on how to get a locked pointer back.
    static constexpr int captureNoticeLimit = 3;

    // `model` is an InputModel and is held weakly; the keymap controller and the services
    // must outlive the coordinator.
    InputCoordinator(QObject* model, KeymapController& keymap, Services services);
    InputCoordinator(const InputCoordinator&) = delete;
    InputCoordinator& operator=(const InputCoordinator&) = delete;
    ~InputCoordinator();

    // Starts everything for the view, detaching from any other first; the view must stay
    // until detach().
    void attach(InputView& view);
    void detach();

    // A user's request for another input mode: the HUD's menu and the window shortcuts.
    void requestMode(InputMode mode);

    // What the window and the application report while attached: a menu or a sheet closed.
    void windowBecameKey() { updateCursor(); }
    // Qt's focus or the window manager's active window moved.
    void focusMoved();
    // Releases everything held on the phone and unlocks the pointer.
    void windowLostFocus();
    void closeStream();

private:
    // InputCapture::Client
    bool isKeyWindow() const override;
    bool isCursorCaptured() const override { return cursor_.isCaptured(); }
    std::optional<QPointF> lockedMotion(QPointF globalPosition) override {
        return cursor_.recentre(globalPosition);
    }
    bool isStreaming() const override;
    bool passKeysThrough(std::uint16_t keyCode, KeyModifiers held) const override;
    bool rawMouseActive() override { return rawMouse_ && rawMouse_->claimsSystemMove(); }
    const QList<QRectF>& overlayFrames() const override;
    bool takesPresses() const override;
    void onEvent(const InputEvent& event) override { deliver(event); }
    void onShortcut(const InputCapture::Shortcut& shortcut) override { perform(shortcut); }
    void onCommandKey(bool held) override;
    void onInput() override;
    void onDesktopKey(std::uint32_t nativeKey, DesktopChord chord, bool down,
                      std::uint32_t stamp) override;
    void onDisplayTime(std::uint32_t stamp) override;
    bool tooLate(std::uint32_t stamp, std::optional<std::uint32_t> nativeKey) override;

    InputModel* model() const { return modelObject_ ? model_ : nullptr; }
    InputSession* session() const;
    // The router of the model's current session, following a new one.
    InputRouter* followSession();
    // The router already followed, while its session lasts.
    InputRouter* followedRouter() const { return sessionObject_ ? router_ : nullptr; }
    void scheduleTick();
    void tick();
    void deliver(const InputEvent& event);
    void deliverGamepad(const GamepadState& state);
    void logGamepadFlow(bool isOpen);
    void perform(const InputCapture::Shortcut& shortcut);
    void toggleEditor();
    void selectLayout(std::size_t index);
    void editorClosed(const GameKeymaps& keymaps, std::size_t active);
    // Locks or unlocks the pointer, and holds the keyboard and the mouse while a game has them.
    void updateCursor(GrabEvent event = GrabEvent::changed);
    GrabFacts grabFacts() const;
    // The display's grabs made as the rule says; one refused is the desktop's until the
    // player's next input.
    void applyGrabs();
    // Tells the model whether the pointer is locked, and on the stream's first lock shows how
    // to get it back, the first few times.
    void publishCapture();
    // The desktop gets the keyboard or the pointer back: every finger and key held on the phone
    // lifts, and the keys held now are let go elsewhere.
    void letGo();
    // Lets go of the phone, the pointer and the keyboard while the window keeps the focus: the
    // keys held stay known, so that a held shortcut's repeats never act as presses again.
    void stopCapturing();
    // The desktop's chord whose key went down here, and those waiting to be handed on, are
    // dropped.
    void forgetDesktopChord();
    InputMode startMode() const;
    void prepare(InputMode mode, InputRouter& router);
    // Installs what the mode needs and enters it; a restart of the same mode resynchronises.
    void applyMode(InputMode mode, InputRouter& router, bool restart);

    QPointer<QObject> modelObject_;
    InputModel* model_;
    KeymapController& keymap_;
    Services services_;
    InputView* view_ = nullptr;
    std::unique_ptr<GamepadCapture> gamepad_;
    std::unique_ptr<InputCapture> capture_;
    std::unique_ptr<RawMouseCapture> rawMouse_;
    CursorCapture cursor_;
    GrabState grabs_;
    // What the display granted.
    bool keyboardGrabbed_ = false;
    bool mouseGrabbed_ = false;
    std::uint64_t lastInput_ = 0;
    // When the key of the desktop's last chord went down or up, by the display's time, while
    // it may still be waited for.
    std::optional<std::uint32_t> desktopChordAt_;
    std::uint32_t desktopChordKey_ = 0;  // its key, the display's
    bool publishedCapture_ = false;
    bool captureNoticeShown_ = false;  // since attach()
    std::unique_ptr<OneShotTimer> timer_;
    // The followed session and its router, valid while sessionObject_ lasts.
    InputSession* session_ = nullptr;
    QPointer<QObject> sessionObject_;
    InputRouter* router_ = nullptr;
    std::optional<VideoGeometry> lastGeometry_;
    StartModeGate startGate_;
    std::optional<InputMode> requestedMode_;
    // The router that last received this window's layouts; only compared, never used.
    const InputRouter* layoutsRouter_ = nullptr;
    GamepadGate gamepadGate_;
    int gamepadSeen_ = 0;
    int gamepadSent_ = 0;
    std::optional<std::uint64_t> gamepadLogAt_;
};

}  // namespace qm
