#include <QMouseEvent>
#include <algorithm>
#include <functional>
#include <memory>

#include <linux/input-event-codes.h>

#include <gtest/gtest.h>

#include "InputFakes.h"
#include "InputRouter/ProfileTemplates.h"
#include "InputRouter/TouchMessages.h"

namespace qm {
namespace {

using test::FakeSession;
using test::InputFixture;

template <typename Message>
std::size_t count(const std::vector<ControlMessage>& messages) {
    return std::size_t(std::count_if(messages.begin(), messages.end(), [](const auto& m) {
        return std::holds_alternative<Message>(m);
    }));
}

const InjectKeycode spaceUp = message::key(KeyAction::up, 62, 0, 0);

class InputCoordinatorTest : public ::testing::Test, protected InputFixture {
protected:
    void lockThePointer() { test::lockThePointer(*this); }
};

TEST_F(InputCoordinatorTest, StartModeIsTheRequestElseTheStoredModeElseKeyboardAndMouse) {
    struct Case {
        const char* name;
        std::optional<InputMode> stored;
        std::optional<InputMode> requested;
        InputMode started;
    };
    const Case cases[] = {
        {"nothing stored", std::nullopt, std::nullopt, InputMode::keyboardMouse},
        {"stored", InputMode::keymap, std::nullopt, InputMode::keymap},
        {"a stored controller mode", InputMode::macGamepad, std::nullopt, InputMode::keyboardMouse},
        {"requested before streaming", InputMode::keymap, InputMode::macGamepad,
         InputMode::macGamepad},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = std::make_unique<InputFixture>();
        if (c.stored) {
            f->settings.setInputMode(*c.stored, "com.game");
        }
        f->attach();
        if (c.requested) {
            f->coordinator.requestMode(*c.requested);
        }
        f->tick();
        EXPECT_EQ(f->session.router.mode(), InputMode::phoneGamepad) << "not streaming yet";
        f->startStreaming();
        EXPECT_EQ(f->session.router.mode(), c.started);
        EXPECT_EQ(f->keymap.inputMode(), c.started);
        if (c.requested) {
            EXPECT_EQ(f->store.value("inputMode.com.game"), int(*c.requested)) << "persisted";
        }
    }
}

TEST_F(InputCoordinatorTest, ADropReleasesAndTheReturnResynchronisesTheSameMode) {
    attach();
    coordinator.requestMode(InputMode::macGamepad);
    startStreaming();
    EXPECT_EQ(count<UhidCreate>(session.messages), 1u);

    session.router.setMode(InputMode::keyboardMouse);
    session.router.handle(KeyDownEvent{49, {}, false});
    session.messages.clear();
    session.stream(false);
    tick();
    EXPECT_EQ(session.messages, std::vector<ControlMessage>{spaceUp});

    session.messages.clear();
    startStreaming();  // the start mode again, not the router's own
    EXPECT_EQ(session.router.mode(), InputMode::macGamepad);
    EXPECT_EQ(count<UhidCreate>(session.messages), 1u);

    session.messages.clear();
    session.stream(false);
    tick();
    startStreaming();
    EXPECT_EQ(count<UhidDestroy>(session.messages), 1u) << "the controller made anew";
    EXPECT_EQ(count<UhidCreate>(session.messages), 1u);
}

TEST_F(InputCoordinatorTest, KeymapModeInstallsTheGamesLayoutsAndWarnsOnlyTheFirstTime) {
    attach();
    coordinator.requestMode(InputMode::keymap);
    EXPECT_EQ(view.warnings, 1);
    EXPECT_TRUE(settings.emulatorWarningShown());
    startStreaming();
    EXPECT_EQ(session.router.mode(), InputMode::keymap);
    EXPECT_TRUE(session.router.selectLayout(5)) << "the six stored layouts";
    EXPECT_EQ(keymap.activeLayoutIndex(), 5u);

    coordinator.requestMode(InputMode::keyboardMouse);
    coordinator.requestMode(InputMode::keymap);
    EXPECT_EQ(view.warnings, 1);
    EXPECT_EQ(session.router.activeLayoutIndex(), 0u);
}

TEST_F(InputCoordinatorTest, KeymapsStillBeingReadReachTheRouterOnceRead) {
    InputFixture f(false);
    f.attach();
    f.coordinator.requestMode(InputMode::keymap);
    f.startStreaming();
    EXPECT_EQ(f.session.router.mode(), InputMode::keymap);
    EXPECT_FALSE(f.session.router.selectLayout(5));
    test::settleWorkers();
    EXPECT_TRUE(f.session.router.selectLayout(5));
}

TEST_F(InputCoordinatorTest, RequestsAndEditorTogglesThatCannotActBeepAndSayWhy) {
    attach();
    keymap.requestToggle();  // no stream to edit yet
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(keymap.isEditing());
    EXPECT_EQ(keymap.layoutToastText(), "The layout can be edited once the picture shows.");
    session.stream(false);  // the phone away
    keymap.requestToggle();
    EXPECT_EQ(keymap.layoutToastText(), "The layout can be edited once the phone is back.");

    startStreaming();
    keymap.requestToggle();
    ASSERT_TRUE(keymap.isEditing());
    coordinator.requestMode(InputMode::keymap);
    EXPECT_EQ(beeps, 3);
    EXPECT_EQ(session.router.mode(), InputMode::keyboardMouse);
    EXPECT_EQ(settings.inputMode("com.game"), InputMode::keyboardMouse);
    EXPECT_FALSE(settings.emulatorWarningShown());

    // The video gone, editing ends.
    session.geometry.reset();
    tick();
    EXPECT_FALSE(keymap.isEditing());
}

TEST_F(InputCoordinatorTest, ANewSessionReleasesTheOldRouterAndStartsAfresh) {
    attach();
    startStreaming();
    session.router.handle(KeyDownEvent{49, {}, false});
    session.messages.clear();

    FakeSession next;
    next.stream(true);
    model.current = &next;
    tick();
    EXPECT_EQ(session.messages, std::vector<ControlMessage>{spaceUp});
    EXPECT_EQ(next.router.mode(), InputMode::keyboardMouse);

    // A session that is gone is left alone; its successor is followed.
    auto third = std::make_unique<FakeSession>();
    third->stream(true);
    model.current = third.get();
    tick();
    third.reset();
    model.current = &session;
    tick();
    EXPECT_EQ(session.router.mode(), InputMode::keyboardMouse);
}

TEST_F(InputCoordinatorTest, LosingFocusReleasesEverythingAndUnlocksThePointer) {
    lockThePointer();
    ASSERT_TRUE(session.router.wantsCursorCapture());
    EXPECT_TRUE(rawMouse.isSourceRunning()) << "locked, with raw motion";

    session.router.handle(KeyDownEvent{49, {}, false});
    session.messages.clear();
    view.key = false;
    coordinator.windowLostFocus();
    EXPECT_EQ(count<InjectTouch>(session.messages), session.messages.size());
    EXPECT_FALSE(session.messages.empty());
    EXPECT_FALSE(rawMouse.isSourceRunning());
    tick();
    EXPECT_FALSE(view.mouseGrabbed);

    view.key = true;
    coordinator.windowBecameKey();
    EXPECT_TRUE(rawMouse.isSourceRunning());
    EXPECT_TRUE(view.mouseGrabbed);
    EXPECT_TRUE(model.pointerCaptured);
    coordinator.closeStream();
    EXPECT_EQ(model.closed, 1);
    coordinator.detach();
    EXPECT_EQ(model.keymap, nullptr);
    EXPECT_EQ(model.requester, nullptr);
}

TEST_F(InputCoordinatorTest, WhateverGivesTheDesktopItsKeysBackLiftsEveryFingerOnThePhone) {
    struct Case {
        const char* name;
        std::function<void(InputFixture&)> giveBack;
    };
    const Case cases[] = {
        {"focus lost",
         [](InputFixture& f) {
             f.view.key = false;
             f.coordinator.windowLostFocus();
         }},
        {"a Super chord handed on",
         [](InputFixture& f) {
             f.send(test::keyEvent(QEvent::KeyPress, KEY_L, Qt::MetaModifier));
         }},
        {"a minute without the player, Space let go",
         [](InputFixture& f) {
             f.send(test::keyEvent(QEvent::KeyRelease, KEY_SPACE));
             f.now += 60'000'000'000;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InputFixture f;
        test::lockThePointer(f);
        f.session.router.handle(MouseDeltaEvent{4, 0});  // the look finger
        f.send(test::keyEvent(QEvent::KeyPress, KEY_SPACE));
        f.session.messages.clear();
        c.giveBack(f);
        f.tick();
        EXPECT_EQ(count<InjectTouch>(f.session.messages), 2u) << "the look finger and Space's";
    }
}

TEST_F(InputCoordinatorTest, HowToGetTheLockedPointerBackShowsOnceAStreamForThreeStreams) {
    for (int stream = 1; stream <= 4; ++stream) {
        lockThePointer();
        ASSERT_TRUE(model.pointerCaptured);
        view.key = false;
        coordinator.windowLostFocus();
        EXPECT_FALSE(model.pointerCaptured);
        view.key = true;
        coordinator.windowBecameKey();
        EXPECT_EQ(view.captureNotices, std::min(stream, 3)) << stream;
        coordinator.detach();
    }
    EXPECT_EQ(settings.captureNoticeCount(), 3);
}

TEST_F(InputCoordinatorTest, TheKeyboardIsGrabbedOnlyWhileTheGameHasThePlayer) {
    attach();
    startStreaming();
    EXPECT_FALSE(view.keyboardGrabbed) << "keyboard and mouse pass through without a grab";
    const auto pointerAt = [](QPointF at) {
        return QMouseEvent(QEvent::MouseMove, at, at, at, Qt::NoButton, Qt::NoButton,
                           Qt::NoModifier);
    };
    const auto super = [&](bool down, bool repeat = false) {
        send(test::keyEvent(down ? QEvent::KeyPress : QEvent::KeyRelease, KEY_LEFTMETA,
                            down ? Qt::NoModifier : Qt::MetaModifier, repeat));
    };
    struct Step {
        const char* name;
        std::function<void()> act;
        bool grabbed;
    };
    const Step steps[] = {
        {"key mapping", [&] { coordinator.requestMode(InputMode::keymap); }, true},
        {"focus lost",
         [&] {
             view.key = false;
             coordinator.windowLostFocus();
         },
         false},
        {"focus back",
         [&] {
             view.key = true;
             coordinator.windowBecameKey();
         },
         true},
        {"another client's window made active, no focus out reaching the app",
         [&] {
             view.active = false;
             coordinator.focusMoved();
         },
         false},
        {"made active again",
         [&] {
             view.active = true;
             coordinator.focusMoved();
         },
         true},
        {"a sheet", [&] { view.sheet = true; }, false},
        {"the sheet gone", [&] { view.sheet = false; }, true},
        {"the editor", [&] { keymap.requestToggle(); }, false},
        {"the editor closed", [&] { keymap.cancelEditing(); }, true},
        {"a restart (HD/SD)", [&] { session.restart(); }, true},
        {"streaming after it", [&] { session.stream(true); }, true},
        {"the stream ends", [&] { session.stream(false); }, false},
        {"started again: the grab comes with the stream", [&] { session.restart(); }, false},
        {"streaming again", [&] { session.stream(true); }, true},
        {"the pointer moves",
         [&] {
             send(pointerAt({10, 10}));
         },
         true},
        {"a minute without the player", [&] { now += 60'000'000'000; }, false},
        {"the pointer reported where it was, as a grab ends",
         [&] {
             send(pointerAt({10, 10}));
         },
         false},
        {"the player's next key", [&] { send(test::keyEvent(QEvent::KeyPress, KEY_A)); }, true},
        {"another client has it as the window comes back",
         [&] {
             coordinator.windowLostFocus();
             view.otherClientHoldsKeyboard = true;
             coordinator.windowBecameKey();
         },
         false},
        {"asked for again only at the next input", [&] { view.otherClientHoldsKeyboard = false; },
         false},
        {"the next input", [&] { send(test::keyEvent(QEvent::KeyPress, KEY_A)); }, true},
        // Super may carry more of the app's shortcuts.
        {"Super held as the game is left",
         [&] {
             super(true);
             coordinator.requestMode(InputMode::keyboardMouse);
         },
         true},
        {"Super's auto-repeat",
         [&] {
             super(false, true);
             super(true, true);
         },
         true},
        {"Super up", [&] { super(false); }, false},
        {"Super held as the focus goes and let go elsewhere, the game left on the way back",
         [&] {
             coordinator.requestMode(InputMode::keymap);
             tick();
             super(true);
             view.key = false;
             coordinator.windowLostFocus();
             view.key = true;
             coordinator.windowBecameKey();
             coordinator.requestMode(InputMode::keyboardMouse);
         },
         false},
        {"detached with Super held, the game left again",
         [&] {
             coordinator.requestMode(InputMode::keymap);
             tick();
             super(true);
             coordinator.detach();
             attach();
             tick();
             coordinator.requestMode(InputMode::keyboardMouse);
         },
         false},
    };
    for (const Step& step : steps) {
        step.act();
        tick();
        EXPECT_EQ(view.keyboardGrabbed, step.grabbed) << step.name;
    }
    coordinator.detach();
    EXPECT_FALSE(view.keyboardGrabbed) << "detached";
}

TEST_F(InputCoordinatorTest, ALookZoneKeepsTheMouseWithThePointerShownTooButNotWhenIdle) {
    lockThePointer();
    const auto button = [](QEvent::Type type) {
        const QPointF at(200, 150);
        return QMouseEvent(type, at, at, at, Qt::LeftButton,
                           type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                           Qt::NoModifier);
    };
    EXPECT_TRUE(view.mouseGrabbed);
    struct Step {
        const char* name;
        std::function<void()> act;
        bool locked;
        bool grabbed;
    };
    const Step steps[] = {
        // The window manager's Alt+click would take the shown pointer's clicks.
        {"Alt held", [&] { send(test::keyEvent(QEvent::KeyPress, KEY_LEFTALT)); }, false, true},
        {"a menu open",
         [&] {
             view.menuOpen = true;
             coordinator.windowLostFocus();
         },
         false, true},
        {"the menu closed, Alt let go",
         [&] {
             view.menuOpen = false;
             send(test::keyEvent(QEvent::KeyRelease, KEY_LEFTALT, Qt::AltModifier));
         },
         true, true},
        {"a minute without the player", [&] { now += 60'000'000'000; }, true, false},
        {"the player's next key", [&] { send(test::keyEvent(QEvent::KeyPress, KEY_A)); }, true,
         true},
        // Held is not idle, repeated or not (`xset r off`); the minute counts from the release.
        {"A held a minute", [&] { now += 60'000'000'000; }, true, true},
        {"A let go", [&] { send(test::keyEvent(QEvent::KeyRelease, KEY_A)); }, true, true},
        {"a minute after", [&] { now += 60'000'000'000; }, true, false},
        {"the left button held a minute to aim",
         [&] {
             send(button(QEvent::MouseButtonPress));
             tick();
             now += 60'000'000'000;
         },
         true, true},
        {"the button let go, a minute after",
         [&] {
             send(button(QEvent::MouseButtonRelease));
             tick();
             now += 60'000'000'000;
         },
         true, false},
    };
    for (const Step& step : steps) {
        step.act();
        tick();
        EXPECT_EQ(model.pointerCaptured, step.locked) << step.name;
        EXPECT_EQ(view.mouseGrabbed, step.grabbed) << step.name;
    }
}

}  // namespace
}  // namespace qm
