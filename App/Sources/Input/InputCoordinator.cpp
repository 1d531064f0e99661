#include "Input/InputCoordinator.h"

#include <QCoreApplication>
#include <QString>
#include <utility>

#include "Editor/KeymapController.h"
#include "Input/OverlayFrameRegistry.h"
#include "InputRouter/GameKeymaps.h"
#include "QuillmereCore/Log.h"
#include "Storage/AppSettings.h"

namespace qm {
namespace {

constexpr std::uint64_t gamepadLogInterval = 1'000'000'000;

bool streams(const InputSession* session) {
    return session && session->phase().kind() == SessionPhase::Kind::streaming;
}

// Why the editor does not open now, for the player who asked for it.
QString whyNoEditing(const InputSession* session) {
    const auto kind = session ? session->phase().kind() : SessionPhase::Kind::idle;
    if (kind == SessionPhase::Kind::waitingForDevice) {
        return QCoreApplication::translate("InputCoordinator",
                                           "The layout can be edited once the phone is back.");
    }
    if (kind == SessionPhase::Kind::starting || kind == SessionPhase::Kind::streaming) {
        return QCoreApplication::translate("InputCoordinator",
                                           "The layout can be edited once the picture shows.");
    }
    return QCoreApplication::translate("InputCoordinator",
                                       "The layout can be edited while the stream plays.");
}

}  // namespace

InputCoordinator::StartModeGate::Step InputCoordinator::StartModeGate::step(
    bool streaming) noexcept {
    if (streaming != wasStreaming) {
        wasStreaming = streaming;
        if (!streaming) {
            isApplied = false;
            restarted = true;
            return Step::stopped;
        }
    }
    if (streaming && !isApplied) {
        isApplied = true;
        return Step::apply;
    }
    return Step::none;
}

InputCoordinator::InputCoordinator(QObject* model, KeymapController& keymap, Services services)
    : modelObject_(model),
      model_(dynamic_cast<InputModel*>(model)),
      keymap_(keymap),
      services_(std::move(services)) {
    if (!model_) {
        modelObject_.clear();
    }
    keymap_.setOnApply(
        [this](const GameKeymaps& keymaps, std::size_t active) { editorClosed(keymaps, active); });
    keymap_.setOnToggleRequest([this] { toggleEditor(); });
    keymap_.setOnLayoutRequest([this](std::size_t index) { selectLayout(index); });
}

InputCoordinator::~InputCoordinator() {
    detach();
    if (InputRouter* router = followedRouter()) {
        router->setOnLayoutSwitch(nullptr);
    }
    keymap_.setOnApply(nullptr);
    keymap_.setOnToggleRequest(nullptr);
    keymap_.setOnLayoutRequest(nullptr);
}

void InputCoordinator::attach(InputView& view) {
    if (view_ == &view) {
        return;
    }
    detach();
    view_ = &view;
    rawMouse_ = std::make_unique<RawMouseCapture>(
        services_.rawMouse, services_.now,
        [this] {
            const InputModel* m = model();
            return m && m->settings() && m->settings()->rawMouseInput();
        },
        [this](double dx, double dy) {
            if (cursor_.isCaptured() && isStreaming()) {
                deliver(MouseDeltaEvent{dx, dy});
            }
        });
    rawMouse_->start();
    capture_ =
        std::make_unique<InputCapture>(view.item(), static_cast<InputCapture::Client&>(*this));
    capture_->start();
    gamepad_ = std::make_unique<GamepadCapture>(
        [this](const GamepadState& state) { deliverGamepad(state); });
    gamepad_->start();
    if (InputModel* m = model()) {
        m->setStreamKeymap(&keymap_);
    }
    timer_ = services_.timers.makeTimer();
    lastInput_ = services_.now();
    grabs_ = {};
    scheduleTick();
    tick();
    if (InputModel* m = model()) {
        m->setModeRequester(this);
    }
}

void InputCoordinator::detach() {
    if (!view_) {
        return;
    }
    InputModel* m = model();
    if (m && m->modeRequester() == this) {
        m->setModeRequester(nullptr);
    }
    keymap_.cancelEditing();
    timer_.reset();
    // A shortcut may end the stream from inside the capture's own filter.
    capture_->stop();
    capture_.release()->deleteLater();
    rawMouse_.reset();
    gamepad_->stop();  // releases what the controller held
    gamepad_.reset();
    gamepadGate_ = {};
    if (InputRouter* router = followedRouter()) {
        router->releaseAll();
        router->setOnLayoutSwitch(nullptr);
    }
    cursor_.release();
    publishCapture();
    grabs_ = {};
    applyGrabs();
    captureNoticeShown_ = false;
    if (m && m->streamKeymap() == &keymap_) {
        m->setStreamKeymap(nullptr);
    }
    desktopChordAt_.reset();
    session_ = nullptr;
    sessionObject_.clear();
    router_ = nullptr;
    view_ = nullptr;
    lastGeometry_.reset();
    startGate_ = {};
}

void InputCoordinator::requestMode(InputMode mode) {
    if (keymap_.isEditing()) {
        services_.beep();
        return;
    }
    InputModel* m = model();
    if (!m) {
        return;
    }
    AppSettings* settings = m->settings();
    if (mode == InputMode::keymap && settings && !settings->emulatorWarningShown()) {
        settings->setEmulatorWarningShown(true);
        windowLostFocus();
        if (view_) {
            view_->presentEmulatorWarning();
        }
    }
    requestedMode_ = mode;
    if (settings && keymap_.package()) {
        settings->setInputMode(mode, QString::fromStdString(*keymap_.package()));
    }
    Log::input().info("input mode {}", rawValue(mode));
    InputRouter* router = followSession();
    if (router && startGate_.isApplied) {
        applyMode(mode, *router, false);
    }
    updateCursor();
}

void InputCoordinator::windowLostFocus() {
    // The releases of keys held now go to another window.
    if (capture_) {
        capture_->forgetHeldKeys();
    }
    forgetDesktopChord();
    grabs_ = nextGrabs(grabs_, GrabEvent::focusLost, grabFacts());
    stopCapturing();
}

void InputCoordinator::focusMoved() {
    if (isKeyWindow()) {
        windowBecameKey();
    } else {
        windowLostFocus();
    }
}

void InputCoordinator::stopCapturing() {
    if (InputRouter* router = followedRouter()) {
        router->releaseAll();
    }
    cursor_.release();
    publishCapture();
    grabs_.keyboard = false;
    grabs_.mouse = false;
    applyGrabs();
    if (rawMouse_) {
        rawMouse_->update(false);
    }
}

void InputCoordinator::closeStream() {
    stopCapturing();
    InputModel* m = model();
    if (m && m->session()) {
        m->closeStream();
    }
}

bool InputCoordinator::isKeyWindow() const {
    const GrabFacts facts = grabFacts();
    return inFront(facts) && facts.keysFree;
}

GrabFacts InputCoordinator::grabFacts() const {
    if (!view_) {
        return {};
    }
    const InputRouter* router = followedRouter();
    const bool playing = isStreaming() && !keymap_.isEditing() && router;
    // A sheet here is a dialog inside the window: it has the keyboard, as a sheet does.
    return {.focused = view_->isWindowActive(),
            .active = view_->isActiveWindow(),
            .keysFree = view_->isKeyWindow() && !view_->hasSheet(),
            .gameKeys = playing && (cursor_.isCaptured() || router->mode() == InputMode::keymap),
            .gameMouse = playing && router->playsLook(),
            .restarting = session() && session()->phase().kind() == SessionPhase::Kind::starting};
}

bool InputCoordinator::isStreaming() const {
    // The editor takes the input also while the phone is away: its edits are kept meanwhile.
    return streams(session()) || keymap_.isEditing();
}

bool InputCoordinator::takesPresses() const {
    // A click taken for a trigger is not also one on the action under it.
    return keymap_.capture().kind != KeymapController::CaptureKind::none;
}

bool InputCoordinator::passKeysThrough(std::uint16_t keyCode, KeyModifiers held) const {
    return keymap_.passesKeyThrough(keyCode, held);
}

const QList<QRectF>& InputCoordinator::overlayFrames() const {
    static const QList<QRectF> none;
    const InputModel* m = model();
    const OverlayFrameRegistry* registry = m ? m->overlayFrames() : nullptr;
    return registry ? registry->frames() : none;
}

InputSession* InputCoordinator::session() const {
    const InputModel* m = model();
    return m ? m->session() : nullptr;
}

InputRouter* InputCoordinator::followSession() {
    InputSession* current = session();
    if (current == session_ && (!current || sessionObject_)) {
        return router_;
    }
    if (InputRouter* old = followedRouter()) {
        old->setOnLayoutSwitch(nullptr);
        old->releaseAll();
    }
    session_ = current;
    sessionObject_ = dynamic_cast<QObject*>(current);
    Q_ASSERT(!current || sessionObject_);
    router_ = current ? &current->input() : nullptr;
    if (router_) {
        router_->setOnLayoutSwitch([this](std::size_t index) { keymap_.layoutSwitched(index); });
    }
    lastGeometry_.reset();
    startGate_ = {};
    layoutsRouter_ = nullptr;  // a new router may sit where a freed one was
    return router_;
}

void InputCoordinator::scheduleTick() {
    timer_->start(tickInterval, [this] {
        scheduleTick();
        tick();
    });
}

void InputCoordinator::tick() {
    if (gamepad_) {
        gamepad_->pump();
    }
    InputSession* current = session();
    if (keymap_.isEditing() && (!current || !current->videoGeometry())) {
        keymap_.cancelEditing();
    }
    InputRouter* router = followSession();
    if (router && current) {
        const bool streaming = streams(current);
        switch (startGate_.step(streaming)) {
            case StartModeGate::Step::stopped:
                router->releaseAll();
                break;
            case StartModeGate::Step::apply:
                applyMode(startMode(), *router, startGate_.restarted);
                break;
            case StartModeGate::Step::none:
                break;
        }
        if (const std::optional<VideoGeometry>& geometry = current->videoGeometry();
            geometry && geometry != lastGeometry_) {
            lastGeometry_ = geometry;
            router->setGeometry(*geometry);
        }
        keymap_.setInputMode(router->mode());
        if (!keymap_.isEditing()) {
            keymap_.setActiveLayoutIndex(router->activeLayoutIndex());
        }
        if (streaming && !keymap_.isEditing()) {
            router->tick(services_.now());
        }
    }
    updateCursor();
}

void InputCoordinator::deliver(const InputEvent& event) {
    if (keymap_.isEditing()) {
        keymap_.handleWhileEditing(event);
        return;
    }
    if (InputRouter* router = followSession()) {
        router->handle(event);
    }
    updateCursor();
}

void InputCoordinator::deliverGamepad(const GamepadState& state) {
    const bool open = view_ && GamepadGate::isOpen(view_->isWindowVisible(), view_->hasSheet());
    ++gamepadSeen_;
    const std::optional<GamepadState> passed = gamepadGate_.filter(state, open);
    if (!passed) {
        logGamepadFlow(false);
        return;
    }
    ++gamepadSent_;
    deliver(GamepadEvent{*passed});
    logGamepadFlow(open);
}

void InputCoordinator::logGamepadFlow(bool isOpen) {
    const std::uint64_t now = services_.now();
    if (gamepadLogAt_ && now - *gamepadLogAt_ < gamepadLogInterval) {
        return;
    }
    const InputRouter* router = followedRouter();
    Log::input().debug("gamepad: {} seen, {} sent, gate {}, mode {}, streaming {}, editing {}",
                       gamepadSeen_, gamepadSent_, isOpen ? "open" : "closed",
                       router ? rawValue(router->mode()) : 0, isStreaming(), keymap_.isEditing());
    gamepadSeen_ = 0;
    gamepadSent_ = 0;
    gamepadLogAt_ = now;
}

void InputCoordinator::perform(const InputCapture::Shortcut& shortcut) {
    switch (shortcut.kind) {
        case InputCapture::Shortcut::Kind::mode:
            requestMode(shortcut.mode);
            break;
        case InputCapture::Shortcut::Kind::layout:
            selectLayout(shortcut.layout);
            break;
        case InputCapture::Shortcut::Kind::toggleEditor:
            toggleEditor();
            break;
        case InputCapture::Shortcut::Kind::closeStream:
            closeStream();
            break;
        case InputCapture::Shortcut::Kind::closeWindow:
            if (view_) {
                view_->closeWindow();
            }
            break;
    }
}

void InputCoordinator::toggleEditor() {
    if (keymap_.isEditing()) {
        keymap_.save();
        return;
    }
    const InputSession* current = session();
    if (streams(current) && current->videoGeometry()) {
        stopCapturing();
        keymap_.beginEditing();
        updateCursor();
    } else {
        services_.beep();
        keymap_.showToast(whyNoEditing(current));
    }
}

void InputCoordinator::selectLayout(std::size_t index) {
    if (keymap_.isEditing()) {
        return;
    }
    if (InputRouter* router = followSession()) {
        router->selectLayout(index);
    }
    updateCursor();
}

void InputCoordinator::editorClosed(const GameKeymaps& keymaps, std::size_t active) {
    if (InputRouter* router = followSession()) {
        router->setLayouts(keymaps.layouts, active);
        layoutsRouter_ = router;
    }
    updateCursor();
}

void InputCoordinator::updateCursor(GrabEvent event) {
    const InputRouter* router = followedRouter();
    const bool playing = isStreaming() && !keymap_.isEditing() && router;
    cursor_.update(playing && isKeyWindow() && router->wantsCursorCapture(),
                   view_ ? &view_->item() : nullptr);
    if (rawMouse_) {
        rawMouse_->update(cursor_.isCaptured());
    }
    publishCapture();
    // As games do: the desktop's shortcuts (Alt+Tab, Alt+F4) would otherwise take the phone's
    // keys. The app's Super shortcuts need no grab of the app's: the display takes the keyboard
    // for the window as Super goes down, before the window manager's bindings of Super chords
    // (openbox runs a file manager on Super+E) can.
    const GrabState before = grabs_;
    grabs_ = nextGrabs(grabs_, event, grabFacts());
    // A key or a button held is input in progress: the minute counts from when nothing is.
    if (capture_ && capture_->holdsInput()) {
        lastInput_ = services_.now();
    }
    if ((grabs_.keyboard || grabs_.mouse) &&
        services_.now() - lastInput_ >=
            std::uint64_t(std::chrono::nanoseconds(idleLimit).count())) {
        grabs_ = nextGrabs(grabs_, GrabEvent::idle, grabFacts());
    }
    if (grabs_.yielded && !before.yielded) {
        letGo();
    }
    applyGrabs();
}

void InputCoordinator::applyGrabs() {
    if (!view_) {
        return;
    }
    if (grabs_.keyboard != keyboardGrabbed_) {
        keyboardGrabbed_ = view_->grabKeyboard(grabs_.keyboard);
        // Another client has it, a screen locker maybe.
        if (grabs_.keyboard && !keyboardGrabbed_) {
            grabs_ = nextGrabs(grabs_, GrabEvent::refused, grabFacts());
            letGo();
        }
    }
    if (grabs_.mouse != mouseGrabbed_) {
        mouseGrabbed_ = grabs_.mouse;
        view_->grabMouse(mouseGrabbed_);
    }
}

void InputCoordinator::onCommandKey(bool held) {
    updateCursor(held ? GrabEvent::superDown : GrabEvent::superUp);
}

void InputCoordinator::onInput() {
    lastInput_ = services_.now();
    if (grabs_.yielded) {
        updateCursor(GrabEvent::playerInput);
    }
}

void InputCoordinator::onDisplayTime(std::uint32_t stamp) {
    // The display's order and time, not the app's: a busy app reads a chord's release late, yet
    // before whatever the display stamped after it. A key still down goes up here, however long
    // it is held.
    if (!desktopChordAt_ || stamp == 0 ||
        std::int32_t(stamp - *desktopChordAt_) < desktopChordLimit.count()) {
        return;
    }
    if (view_ && view_->keyDown(desktopChordKey_)) {
        desktopChordAt_ = stamp;
    } else {
        forgetDesktopChord();
    }
}

bool InputCoordinator::tooLate(std::uint32_t stamp, std::optional<std::uint32_t> nativeKey) {
    // Nothing plays on the phone in the editor: a key it waits for is the person's, however
    // late a busy machine reads it.
    if (keymap_.isEditing()) {
        return false;
    }
    const std::optional<std::uint32_t> now = view_ ? view_->displayTime() : std::nullopt;
    // A key still held when the app catches up is the player's now. An event Qt made itself
    // has no stamp.
    return now && stamp != 0 && std::int32_t(*now - stamp) > latePressLimit.count() &&
           !(nativeKey && view_->keyDown(*nativeKey));
}

void InputCoordinator::onDesktopKey(std::uint32_t nativeKey, DesktopChord chord, bool down,
                                    std::uint32_t stamp) {
    if (!view_) {
        return;
    }
    desktopChordAt_ = stamp;
    desktopChordKey_ = nativeKey;
    if (down) {
        // As if the app held nothing until the player is back: the chord's command may want the
        // keyboard (a screen locker).
        updateCursor(GrabEvent::handedOn);
        // The grab the display took as Super went down goes too.
        keyboardGrabbed_ = view_->grabKeyboard(false);
    } else {
        view_->handKeyOn(nativeKey, chord);
    }
}

void InputCoordinator::publishCapture() {
    const bool captured = cursor_.isCaptured();
    if (captured == publishedCapture_) {
        return;
    }
    publishedCapture_ = captured;
    InputModel* m = model();
    if (m) {
        m->setPointerCaptured(captured);
    }
    AppSettings* settings = m ? m->settings() : nullptr;
    // Once a stream, for the first few streams that take the pointer.
    if (captured && !captureNoticeShown_ && view_ && settings &&
        settings->captureNoticeCount() < captureNoticeLimit) {
        captureNoticeShown_ = true;
        settings->setCaptureNoticeCount(settings->captureNoticeCount() + 1);
        view_->presentCaptureNotice();
    }
}

void InputCoordinator::letGo() {
    if (InputRouter* router = followedRouter()) {
        router->releaseAll();
    }
    if (capture_) {
        capture_->forgetHeldKeys();
    }
}

void InputCoordinator::forgetDesktopChord() {
    desktopChordAt_.reset();
    if (capture_) {
        capture_->forgetDesktopKey();
    }
    if (view_) {
        view_->forgetChordsWaiting();
    }
}

InputMode InputCoordinator::startMode() const {
    if (requestedMode_) {
        return *requestedMode_;
    }
    const InputModel* m = model();
    if (m && m->settings() && keymap_.package()) {
        return m->settings()->inputMode(QString::fromStdString(*keymap_.package()));
    }
    return InputMode::keyboardMouse;
}

void InputCoordinator::prepare(InputMode mode, InputRouter& router) {
    if (mode != InputMode::keymap ||
        (router.mode() == InputMode::keymap && &router == layoutsRouter_)) {
        return;
    }
    // A file still being read reaches the router through onApply.
    keymap_.loadActiveKeymaps();
    if (const std::optional<GameKeymaps>& keymaps = keymap_.activeKeymaps()) {
        router.setLayouts(keymaps->layouts, 0);
        layoutsRouter_ = &router;
    }
}

void InputCoordinator::applyMode(InputMode mode, InputRouter& router, bool restart) {
    prepare(mode, router);
    if (restart && router.mode() == mode) {
        router.resync();
    } else {
        router.setMode(mode);
    }
    keymap_.setInputMode(mode);
}

}  // namespace qm
