#pragma once

#include <QCoreApplication>
#include <QKeyEvent>
#include <QObject>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Editor/KeymapController.h"
#include "Input/HeldKeys.h"
#include "Input/InputCoordinator.h"
#include "Input/InputModel.h"
#include "Input/InputView.h"
#include "Input/OverlayFrameRegistry.h"
#include "InputRouter/KeymapFile.h"
#include "InputRouter/ProfileTemplates.h"
#include "Storage/AppSettings.h"
#include "Support/ManualTimerSource.h"
#include "WorkerResults.h"

namespace qm::test {

// The display's time, in milliseconds: each key event is stamped a millisecond after the last.
inline std::uint32_t displayClock = 0;

// A key as X11 reports it: with the modifiers held before it, at a time of its own.
class KeyEvent : public QKeyEvent {
public:
    KeyEvent(QEvent::Type type, quint32 evdev, Qt::KeyboardModifiers modifiers = {},
             bool repeat = false, quint32 nativeModifiers = 0)
        : QKeyEvent(type, 0, modifiers, evdev + 8, 0, nativeModifiers, QString(), repeat) {
        setTimestamp(++displayClock);
    }
};

inline KeyEvent keyEvent(QEvent::Type type, quint32 evdev, Qt::KeyboardModifiers modifiers = {},
                         bool repeat = false, quint32 nativeModifiers = 0) {
    return KeyEvent(type, evdev, modifiers, repeat, nativeModifiers);
}

// The key event of the press whose shortcut's override went before it.
inline KeyEvent pressAfter(const QKeyEvent& override) {
    KeyEvent key(QEvent::KeyPress, override.nativeScanCode() - 8, override.modifiers(),
                 override.isAutoRepeat(), override.nativeModifiers());
    key.setTimestamp(override.timestamp());
    return key;
}

// A session whose router is real and whose messages are recorded.
class FakeSession : public QObject, public InputSession {
public:
    InputRouter& input() override { return router; }
    SessionPhase phase() const override { return phase_; }
    const std::optional<VideoGeometry>& videoGeometry() const noexcept override { return geometry; }
    void stream(bool streaming) {
        phase_ = streaming ? SessionPhase::streaming() : SessionPhase::waitingForDevice();
    }
    void restart() { phase_ = SessionPhase::starting(); }

    std::vector<ControlMessage> messages;
    InputRouter router{[this](const ControlMessage& message) { messages.push_back(message); }};
    std::optional<VideoGeometry> geometry = VideoGeometry({1080, 2400}, {0, 0, 400, 300});

private:
    SessionPhase phase_ = SessionPhase::starting();
};

class FakeModel : public QObject, public InputModel {
public:
    explicit FakeModel(AppSettings& appSettings) : settings_(appSettings) {}

    InputSession* session() const override { return current; }
    AppSettings* settings() const override { return &settings_; }
    OverlayFrameRegistry* overlayFrames() const override { return &registry; }
    KeymapController* streamKeymap() const override { return keymap; }
    void setStreamKeymap(KeymapController* controller) override { keymap = controller; }
    InputCoordinator* modeRequester() const override { return requester; }
    void setModeRequester(InputCoordinator* coordinator) override { requester = coordinator; }
    void setPointerCaptured(bool captured) override { pointerCaptured = captured; }
    void closeStream() override { ++closed; }

    FakeSession* current = nullptr;
    mutable OverlayFrameRegistry registry;
    KeymapController* keymap = nullptr;
    InputCoordinator* requester = nullptr;
    bool pointerCaptured = false;
    int closed = 0;

private:
    AppSettings& settings_;
};

class FakeChooser : public KeymapFileChooser {
public:
    void chooseFileToOpen(Answer) override {}
    void chooseFileToSave(const QString&, SaveAnswer) override {}
    void askToReplace(const std::filesystem::path&, SaveAnswer) override {}
    void reject() override {}
};

// An input view over a real item of a window that is never shown, whose window state the test
// sets, and the display's keyboard and mouse as they are held.
class FakeView : public InputView {
public:
    FakeView() { view.setParentItem(window.contentItem()); }

    QQuickItem& item() override { return view; }
    bool isWindowActive() const override { return key; }
    bool isKeyWindow() const override { return key && !menuOpen; }
    std::optional<bool> isActiveWindow() const override { return active; }
    bool isWindowVisible() const override { return visible; }
    bool hasSheet() const override { return sheet; }
    void presentEmulatorWarning() override { ++warnings; }
    void presentCaptureNotice() override { ++captureNotices; }
    bool grabKeyboard(bool grab) override {
        ungrabs += grab ? 0 : 1;
        keyboardGrabbed = grab && !otherClientHoldsKeyboard;
        return keyboardGrabbed;
    }
    void grabMouse(bool grab) override { mouseGrabbed = grab; }
    void handKeyOn(std::uint32_t nativeKey, DesktopChord chord) override {
        handedOn.push_back(nativeKey);
        handedOnWith.push_back(chord);
    }
    void forgetChordsWaiting() override { ++chordsForgotten; }
    std::optional<std::uint32_t> displayTime() override { return displayNow; }
    bool keyDown(std::uint32_t nativeKey) override {
        return nativeKey == keyDownOnDisplay || (keysDownOnDisplay && keysDownOnDisplay(nativeKey));
    }
    void closeWindow() override { ++closes; }

    QQuickWindow window;
    QQuickItem view;
    bool key = true;             // Qt's focus
    std::optional<bool> active;  // the window manager's
    bool menuOpen = false;
    bool visible = true;
    bool sheet = false;
    int warnings = 0;
    int captureNotices = 0;
    bool otherClientHoldsKeyboard = false;
    bool keyboardGrabbed = false;
    int ungrabs = 0;
    bool mouseGrabbed = false;
    std::vector<std::uint32_t> handedOn;
    std::vector<DesktopChord> handedOnWith;
    int chordsForgotten = 0;
    std::uint32_t keyDownOnDisplay = 0;
    std::function<bool(std::uint32_t)> keysDownOnDisplay;
    std::optional<std::uint32_t> displayNow;
    int closes = 0;
};

// A coordinator for a fake view, following a fake model's session, with the window's keymap
// controller for "com.game", whose stored keymaps are six layouts without a look control; with
// `readKeymaps` they are read before the test begins, as the stream screen starts reading them.
class InputFixture {
public:
    explicit InputFixture(bool readKeymaps = true) {
        HeldKeys::shared().forget();  // what an earlier test left held
        model.current = &session;
        view.view.setSize({400, 300});
        GameKeymaps keymaps{"com.game", {}};
        for (int i = 0; i < 6; ++i) {
            keymaps.layouts.push_back({UUID::random(), "Layout " + std::to_string(i + 1),
                                       std::nullopt, ProfileTemplates::moba("com.game")});
        }
        std::filesystem::create_directories(profiles.directory);
        KeymapFile::write(profiles.fileURL("com.game"), keymaps);
        if (readKeymaps) {
            keymap.loadActiveKeymaps();
            settleWorkers();
        }
    }

    void attach() { coordinator.attach(view); }
    // To the stream window, where its capture sees it.
    void send(QEvent&& event) { QCoreApplication::sendEvent(&view.window, &event); }
    void tick() { timers.advance(InputCoordinator::tickInterval); }
    // Streams and lets the coordinator apply the start mode.
    void startStreaming() {
        session.stream(true);
        tick();
    }

    QTemporaryDir folder;
    QSettings store{folder.filePath("settings.ini"), QSettings::IniFormat};
    AppSettings settings{store};
    FakeModel model{settings};
    FakeSession session;
    FakeChooser chooser;
    ProfileStore profiles{folder.filePath("Profiles").toStdString()};
    KeymapController keymap{"com.game", profiles, chooser};
    ManualTimerSource timers;
    struct NoSource : RawMouseSource {
        void activate(Handler) override {}
        void deactivate() override {}
    } noRawMouse;
    RawMouseHub rawMouse{noRawMouse};
    int beeps = 0;
    std::uint64_t now = 1'000'000'000;
    FakeView view;
    InputCoordinator coordinator{
        &model, keymap,
        InputCoordinator::Services{timers, rawMouse, [this] { ++beeps; }, [this] { return now; }}};
};

// Attached and streaming in key mapping with a look control: the pointer locked, without
// warping the display's pointer as the window is not shown.
inline void lockThePointer(InputFixture& f) {
    f.attach();
    f.startStreaming();
    f.session.router.setMode(InputMode::keymap);
    f.session.router.setLayouts(
        {{UUID::random(), "Look", std::nullopt, ProfileTemplates::shooter("com.game")}}, 0);
    f.tick();
}

}  // namespace qm::test
