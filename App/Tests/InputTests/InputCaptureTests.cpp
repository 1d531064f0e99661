#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QWheelEvent>
#include <QWindow>
#include <bitset>
#include <memory>

#include <linux/input-event-codes.h>

#include <gtest/gtest.h>

#include "Input/SuperChordFilter.h"
#include "InputFakes.h"
#include "InputRouter/TouchMessages.h"
#include "Windows/ButtonReturnKey.h"

namespace qm {
namespace {

using test::FakeSession;

InjectKeycode keyMessage(KeyAction action, std::int32_t keycode, std::int32_t meta,
                         std::int32_t repeat = 0) {
    return message::key(action, keycode, repeat, meta);
}

constexpr std::int32_t shiftMeta = 0x41;

// Counts the events that went on to the stream window: the capture's filter runs before it.
class PassedEvents : public QObject {
public:
    bool eventFilter(QObject* receiver, QEvent* /*event*/) override {
        if (receiver == window) {
            ++count;
        }
        return false;
    }

    QObject* window = nullptr;
    int count = 0;
};

class InputCaptureTest : public ::testing::Test, protected test::InputFixture {
protected:
    InputCaptureTest() {
        passed.window = &view.window;
        QCoreApplication::instance()->installEventFilter(&passed);
        attach();
    }
    ~InputCaptureTest() override { QCoreApplication::instance()->removeEventFilter(&passed); }

    // Sends the event to the stream window; true when it went on to the window.
    bool send(QEvent& event, QObject* receiver = nullptr) {
        const int before = passed.count;
        QCoreApplication::sendEvent(receiver ? receiver : &view.window, &event);
        return passed.count > before;
    }
    bool send(QEvent&& event, QObject* receiver = nullptr) { return send(event, receiver); }
    static test::KeyEvent key(QEvent::Type type, quint32 evdev,
                              Qt::KeyboardModifiers modifiers = {}, bool repeat = false,
                              quint32 nativeModifiers = 0) {
        return test::keyEvent(type, evdev, modifiers, repeat, nativeModifiers);
    }
    static test::KeyEvent press(quint32 evdev, Qt::KeyboardModifiers modifiers = {},
                                bool repeat = false) {
        return key(QEvent::KeyPress, evdev, modifiers, repeat);
    }
    static test::KeyEvent release(quint32 evdev, Qt::KeyboardModifiers modifiers = {},
                                  bool repeat = false) {
        return key(QEvent::KeyRelease, evdev, modifiers, repeat);
    }
    // At the display's time in milliseconds.
    struct Mouse : QMouseEvent {
        Mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, quint64 time)
            : QMouseEvent(type, at, at, at, button, button, Qt::NoModifier) {
            setTimestamp(time);
        }
    };
    static Mouse mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, quint64 time = 0) {
        return Mouse(type, at, button, time);
    }
    std::vector<ControlMessage> taken() { return std::exchange(session.messages, {}); }

    PassedEvents passed;
};

TEST_F(InputCaptureTest, ModifierKeysReachThePhoneBySideAndAlwaysGoOn) {
    startStreaming();
    taken();
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    // X11 reports the modifiers held before the event.
    EXPECT_TRUE(send(press(KEY_LEFTSHIFT)));
    EXPECT_TRUE(send(press(KEY_LEFTSHIFT, shift, true)));  // a repeat: nothing
    EXPECT_TRUE(send(press(KEY_RIGHTSHIFT, shift)));
    EXPECT_TRUE(send(release(KEY_RIGHTSHIFT, shift)));
    EXPECT_TRUE(send(release(KEY_LEFTSHIFT, shift)));
    EXPECT_TRUE(send(key(QEvent::KeyPress, KEY_CAPSLOCK)));
    EXPECT_TRUE(send(key(QEvent::KeyRelease, KEY_CAPSLOCK, {}, false, 0x2)));  // nothing
    EXPECT_TRUE(send(press(KEY_LEFTMETA)));                                    // nothing
    EXPECT_TRUE(send(release(KEY_LEFTMETA, Qt::MetaModifier)));
    const std::vector<ControlMessage> expected = {
        keyMessage(KeyAction::down, 59, shiftMeta), keyMessage(KeyAction::down, 60, shiftMeta),
        keyMessage(KeyAction::up, 60, shiftMeta),  // the left one is still held
        keyMessage(KeyAction::up, 59, 0),           keyMessage(KeyAction::down, 115, 0x100000),
        keyMessage(KeyAction::up, 115, 0x100000),
    };
    EXPECT_EQ(taken(), expected);
}

TEST_F(InputCaptureTest, KeysAreTakenByPositionWhileStreaming) {
    EXPECT_TRUE(send(press(KEY_A)));  // not streaming yet: nothing
    startStreaming();
    taken();

    EXPECT_FALSE(send(press(KEY_Q)));              // an AZERTY 'A' is the Mac's Q key: Android's Q
    EXPECT_FALSE(send(release(KEY_Q, {}, true)));  // X11's repeat: the key stays down
    EXPECT_FALSE(send(press(KEY_Q, {}, true)));
    EXPECT_FALSE(send(press(KEY_Q)));  // the display's detectable repeat: presses alone
    EXPECT_TRUE(send(press(KEY_UNKNOWN)));
    EXPECT_TRUE(send(release(KEY_UNKNOWN)));
    EXPECT_TRUE(send(press(KEY_F11))) << "full screen is the window's";
    EXPECT_TRUE(send(release(KEY_F11)));
    session.stream(false);
    tick();
    EXPECT_EQ(taken(),
              (std::vector<ControlMessage>{
                  keyMessage(KeyAction::down, 45, 0), keyMessage(KeyAction::down, 45, 0, 1),
                  keyMessage(KeyAction::down, 45, 0, 2), keyMessage(KeyAction::up, 45, 0)}))
        << "released when streaming stopped";

    // Released after streaming stopped: the phone hears it, the window too.
    startStreaming();
    EXPECT_FALSE(send(press(KEY_W)));
    session.stream(false);
    EXPECT_TRUE(send(release(KEY_W)));
    EXPECT_EQ(taken().back(), ControlMessage(keyMessage(KeyAction::up, 51, 0)));
}

TEST_F(InputCaptureTest, EventsOfAnotherWindowOrWithoutFocusAreLeftAlone) {
    startStreaming();
    taken();
    QQuickWindow other;
    send(press(KEY_A), &other);
    view.key = false;
    EXPECT_TRUE(send(press(KEY_A)));
    view.key = true;
    view.sheet = true;  // the dialog has the keyboard
    EXPECT_TRUE(send(press(KEY_A)));
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, 1000)));
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, 1060)));
    EXPECT_TRUE(taken().empty());

    // The dialog closed at the release: a click later than a double click's plays, its second
    // click does not.
    view.sheet = false;
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, 1500)));
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, 1560)));
    EXPECT_EQ(taken().size(), 2u);
    view.sheet = true;
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, 2000)));
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, 2060)));
    view.sheet = false;
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonPress, {12, 11}, Qt::LeftButton, 2120)));
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonRelease, {12, 11}, Qt::LeftButton, 2180)));
    EXPECT_TRUE(taken().empty());
}

TEST_F(InputCaptureTest, SuperShortcutsActOncePerPressAndKeepMenusOut) {
    settings.setInputMode(InputMode::keymap, "com.game");
    startStreaming();
    const Qt::KeyboardModifiers superCtrl = Qt::MetaModifier | Qt::ControlModifier;

    test::KeyEvent override = key(QEvent::ShortcutOverride, KEY_5, superCtrl);
    EXPECT_FALSE(send(override));
    EXPECT_FALSE(send(test::pressAfter(override)));
    EXPECT_EQ(session.router.activeLayoutIndex(), 4u);
    EXPECT_EQ(keymap.activeLayoutIndex(), 4u);
    EXPECT_TRUE(send(release(KEY_5, superCtrl))) << "releases with Super go on";

    // Not a window shortcut: for the menus; a press no menu took is the desktop's.
    test::KeyEvent menus =
        key(QEvent::ShortcutOverride, KEY_W, Qt::MetaModifier | Qt::ShiftModifier);
    EXPECT_TRUE(send(menus));
    EXPECT_FALSE(send(test::pressAfter(menus)));
    EXPECT_FALSE(send(release(KEY_W, Qt::MetaModifier | Qt::ShiftModifier)));
    EXPECT_EQ(model.closed, 0);
    EXPECT_EQ(view.handedOn, std::vector<std::uint32_t>{KEY_W + 8});

    EXPECT_FALSE(send(press(KEY_1, Qt::MetaModifier)));
    EXPECT_EQ(session.router.mode(), InputMode::keyboardMouse);
    EXPECT_FALSE(send(press(KEY_E, Qt::MetaModifier)));
    EXPECT_TRUE(keymap.isEditing());
    // Held, the display repeats the press alone: the editor opened stays open.
    EXPECT_FALSE(send(press(KEY_E, Qt::MetaModifier)));
    EXPECT_TRUE(keymap.isEditing());
    // Asked of the model, which asks about unsaved edits before the stream and its editor go.
    EXPECT_FALSE(send(press(KEY_W, Qt::MetaModifier)));
    EXPECT_EQ(model.closed, 1);
    // A repeat of a held Super+W is no second answer to the question it asked.
    EXPECT_FALSE(send(press(KEY_W, Qt::MetaModifier)));
    EXPECT_EQ(model.closed, 1);
    // The desktop's close, which it cannot see while a game holds the keyboard.
    EXPECT_FALSE(send(press(KEY_F4, Qt::AltModifier)));
    EXPECT_EQ(view.closes, 1);
}

// X repeats the key pressed last also while Super goes down: a key held from before is no chord.
TEST_F(InputCaptureTest, AKeyHeldBeforeSuperPlaysOnAndMakesNoChord) {
    startStreaming();
    taken();
    EXPECT_FALSE(send(press(KEY_W)));
    EXPECT_TRUE(send(press(KEY_LEFTMETA)));
    test::KeyEvent override = key(QEvent::ShortcutOverride, KEY_W, Qt::MetaModifier);
    EXPECT_FALSE(send(override)) << "no menu's Super+W either";
    EXPECT_FALSE(send(test::pressAfter(override)));
    EXPECT_FALSE(send(press(KEY_W, Qt::MetaModifier)));
    EXPECT_EQ(model.closed, 0);
    send(release(KEY_W, Qt::MetaModifier));
    EXPECT_EQ(taken(),
              (std::vector<ControlMessage>{
                  keyMessage(KeyAction::down, 51, 0), keyMessage(KeyAction::down, 51, 0, 1),
                  keyMessage(KeyAction::down, 51, 0, 2), keyMessage(KeyAction::up, 51, 0)}))
        << "W played on, without Super";
    // Neither is a chord of the desktop's.
    send(release(KEY_LEFTMETA, Qt::MetaModifier));
    EXPECT_FALSE(send(press(KEY_L)));
    send(press(KEY_LEFTMETA));
    EXPECT_FALSE(send(press(KEY_L, Qt::MetaModifier)));
    send(release(KEY_L, Qt::MetaModifier));
    EXPECT_TRUE(view.handedOn.empty());
    // Pressed after Super, the same keys are chords.
    EXPECT_FALSE(send(press(KEY_L, Qt::MetaModifier)));
    EXPECT_FALSE(send(release(KEY_L, Qt::MetaModifier)));
    EXPECT_EQ(view.handedOn, std::vector<std::uint32_t>{KEY_L + 8});
    EXPECT_FALSE(send(press(KEY_W, Qt::MetaModifier)));
    EXPECT_EQ(model.closed, 1);
}

TEST_F(InputCaptureTest, SuperChordsNoShortcutTookGoToTheDesktopWhateverIsOpen) {
    settings.setInputMode(InputMode::keymap, "com.game");
    startStreaming();
    ASSERT_TRUE(view.keyboardGrabbed);
    const std::uint32_t l = KEY_L + 8;
    EXPECT_FALSE(send(press(KEY_L, Qt::MetaModifier)));
    EXPECT_FALSE(view.keyboardGrabbed) << "the game let go for the desktop";
    EXPECT_FALSE(send(release(KEY_L, Qt::MetaModifier, true)));  // X11's repeat
    send(key(QEvent::ShortcutOverride, KEY_L, Qt::MetaModifier, true));
    EXPECT_FALSE(send(press(KEY_L, Qt::MetaModifier, true)));
    EXPECT_FALSE(view.keyboardGrabbed) << "a repeat is no input of the player's";
    EXPECT_TRUE(view.handedOn.empty()) << "handed on once up";
    EXPECT_FALSE(send(release(KEY_L)));  // Super went up first
    EXPECT_EQ(view.handedOn, std::vector<std::uint32_t>{l});
    tick();
    EXPECT_FALSE(view.keyboardGrabbed) << "until the player is back";
    send(press(KEY_A));
    EXPECT_TRUE(view.keyboardGrabbed);

    // A menu, a dialog, the editor open: the same.
    view.menuOpen = true;
    send(press(KEY_D, Qt::MetaModifier));
    send(release(KEY_D, Qt::MetaModifier));
    view.menuOpen = false;
    view.sheet = true;
    send(press(KEY_TAB, Qt::MetaModifier));
    send(release(KEY_TAB, Qt::MetaModifier));
    view.sheet = false;
    keymap.requestToggle();
    ASSERT_TRUE(keymap.isEditing());
    send(press(KEY_F1, Qt::MetaModifier));
    send(release(KEY_F1, Qt::MetaModifier));
    // Alt+Tab too, with its own modifier.
    EXPECT_FALSE(send(press(KEY_TAB, Qt::AltModifier | Qt::ShiftModifier)));
    EXPECT_FALSE(send(release(KEY_TAB, Qt::AltModifier | Qt::ShiftModifier)));
    EXPECT_EQ(view.handedOn,
              (std::vector<std::uint32_t>{l, KEY_D + 8, KEY_TAB + 8, KEY_F1 + 8, KEY_TAB + 8}));
    EXPECT_EQ(view.handedOnWith.back(), (DesktopChord{ChordModifier::alt, true}));
    EXPECT_EQ(view.handedOnWith.front(), DesktopChord{ChordModifier::super});
}

TEST_F(InputCaptureTest, ADesktopChordIsForgottenWithTheFocusOrADisplaySecondAfterItsKeyWentUp) {
    startStreaming();
    const auto typeT = [&] {
        taken();
        EXPECT_FALSE(send(press(KEY_T)));
        EXPECT_FALSE(send(release(KEY_T)));
        const std::vector<ControlMessage> expected = {keyMessage(KeyAction::down, 48, 0),
                                                      keyMessage(KeyAction::up, 48, 0)};
        EXPECT_EQ(taken(), expected) << "the game's T";
    };
    // Super+T whose T went up in another window: the next T is the game's, and waits no more.
    EXPECT_FALSE(send(press(KEY_T, Qt::MetaModifier)));
    view.key = false;
    coordinator.windowLostFocus();
    EXPECT_EQ(view.chordsForgotten, 1);
    view.key = true;
    coordinator.windowBecameKey();
    typeT();

    // Super+T typed, T held on past Super: its release a display second and more later hands
    // it on, however slow the app.
    const auto superUpAfter = [&](std::uint32_t ms) {
        test::displayClock += ms;
        send(release(KEY_LEFTMETA, Qt::MetaModifier));
    };
    EXPECT_FALSE(send(press(KEY_T, Qt::MetaModifier)));
    view.keyDownOnDisplay = KEY_T + 8;
    superUpAfter(1500);
    test::displayClock += 1500;
    EXPECT_EQ(view.chordsForgotten, 1);
    view.keyDownOnDisplay = 0;
    send(release(KEY_T));
    EXPECT_EQ(view.handedOn, std::vector<std::uint32_t>{KEY_T + 8});

    // A busy app reads the release long after, by its own clock: the chord still goes on.
    EXPECT_FALSE(send(press(KEY_T, Qt::MetaModifier)));
    superUpAfter(100);
    now += 5'000'000'000;
    tick();
    EXPECT_FALSE(send(release(KEY_T)));
    EXPECT_EQ(view.handedOn.size(), 2u);

    // Its T up on the display (in a screen locker's hands) and the next event a display second
    // later: the chord is forgotten, and the next T is the game's.
    EXPECT_FALSE(send(press(KEY_T, Qt::MetaModifier)));
    superUpAfter(998);
    EXPECT_EQ(view.chordsForgotten, 1);
    superUpAfter(0);
    EXPECT_EQ(view.chordsForgotten, 2);
    typeT();
    EXPECT_EQ(view.handedOn.size(), 2u);
}

TEST_F(InputCaptureTest, APressReadASecondAfterTheDisplayStampedItIsNotPlayedItsReleaseIs) {
    startStreaming();
    // The display's time as the app reads the next event, `late` after its stamp.
    const auto readLate = [&](std::uint32_t late) {
        view.displayNow = test::displayClock + 1 + late;
    };
    const auto down = [](std::int32_t keycode) { return keyMessage(KeyAction::down, keycode, 0); };
    const auto up = [](std::int32_t keycode) { return keyMessage(KeyAction::up, keycode, 0); };
    const int a = 29;
    const int d = 32;

    readLate(1000);
    send(press(KEY_A));
    EXPECT_EQ(taken(), std::vector<ControlMessage>{down(a)}) << "a second late is in time";
    readLate(1001);
    send(release(KEY_A));
    EXPECT_EQ(taken(), std::vector<ControlMessage>{up(a)}) << "the release of a press played";

    // Typed while the app stalled: its press and release are both queued.
    readLate(1001);
    send(press(KEY_S));
    send(release(KEY_S));
    EXPECT_EQ(taken(), std::vector<ControlMessage>{});
    // Still held as the app catches up, it is the player's.
    readLate(1001);
    view.keyDownOnDisplay = KEY_D + 8;
    send(press(KEY_D));
    view.keyDownOnDisplay = 0;
    send(release(KEY_D));
    EXPECT_EQ(taken(), (std::vector<ControlMessage>{down(d), up(d)}));

    // A click aimed at another window past the game's grab.
    readLate(1001);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        send(mouse(type, {200, 150}, Qt::LeftButton, ++test::displayClock));
    }
    EXPECT_EQ(taken(), std::vector<ControlMessage>{});

    // The key the editor waits for is the person's, read however late.
    keymap.beginEditing();
    keymap.startCapture(KeymapController::CaptureKind::newTap);
    readLate(1001);
    send(press(KEY_K));
    send(release(KEY_K));
    EXPECT_TRUE(keymap.isDirty());
    EXPECT_EQ(taken(), std::vector<ControlMessage>{});
}

TEST_F(InputCaptureTest, MouseGoesOnToTheItemsAndOverlaysKeepTheirClicks) {
    startStreaming();
    taken();
    const QUuid control = QUuid::createUuid();
    model.registry.set(QRectF(300, 0, 100, 40), control);

    // A click on the control: neither its press nor its release reach the phone.
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonPress, {350, 20}, Qt::LeftButton)));
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton)));
    EXPECT_TRUE(taken().empty());
    // Its double click closed the control at the first click: the second stays off the phone.
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonPress, {350, 20}, Qt::LeftButton, 1000)));
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonRelease, {350, 20}, Qt::LeftButton, 1050)));
    model.registry.remove(control);
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonPress, {351, 20}, Qt::LeftButton, 1120)));
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonRelease, {351, 20}, Qt::LeftButton, 1170)));
    EXPECT_TRUE(taken().empty());
    model.registry.set(QRectF(300, 0, 100, 40), control);
    // Pressed on the video, released over the control: both.
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonPress, {200, 150}, Qt::LeftButton)));
    EXPECT_TRUE(send(mouse(QEvent::MouseMove, {210, 150}, Qt::NoButton)));
    EXPECT_TRUE(send(mouse(QEvent::MouseButtonRelease, {350, 20}, Qt::LeftButton)));
    const std::vector<ControlMessage> touches = taken();
    ASSERT_EQ(touches.size(), 3u);
    EXPECT_EQ(std::get<InjectTouch>(touches[0]).position, (DevicePosition{540, 1200, 1080, 2400}));
    EXPECT_EQ(std::get<InjectTouch>(touches[2]).action, MotionAction::up);

    // A trackpad's 10 pixels and a wheel's notch are one step each.
    EXPECT_TRUE(send(QWheelEvent({200, 150}, {200, 150}, {0, 10}, {0, 120}, Qt::NoButton,
                                 Qt::NoModifier, Qt::ScrollUpdate, false)));
    EXPECT_TRUE(send(QWheelEvent({200, 150}, {200, 150}, {}, {0, -120}, Qt::NoButton,
                                 Qt::NoModifier, Qt::NoScrollPhase, false)));
    const std::vector<ControlMessage> scrolls = taken();
    ASSERT_EQ(scrolls.size(), 2u);
    EXPECT_EQ(std::get<InjectScroll>(scrolls[0]).vertical, 1.0f);
    EXPECT_EQ(std::get<InjectScroll>(scrolls[1]).vertical, -1.0f);
}

// Return and Enter press a focused button everywhere else; over the game they are the game's,
// whether the toolbar's or the HUD's button kept the focus or not.
TEST_F(InputCaptureTest, ReturnOverTheGameIsTheGamesWhateverButtonHasTheFocus) {
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(
        "import QtQuick.Controls\nButton { property int clicks; onClicked: ++clicks }", QUrl());
    std::unique_ptr<QQuickItem> button(qobject_cast<QQuickItem*>(component.create()));
    ASSERT_TRUE(button) << component.errorString().toStdString();
    button->setParentItem(view.window.contentItem());
    button->forceActiveFocus();
    ASSERT_EQ(view.window.activeFocusItem(), button.get());
    const ButtonReturnKey returnKey;  // filters first, as a stream's capture may start earlier
    startStreaming();
    // As the display sends it: the shortcut's override to the focused item, the key to the
    // window, which passes it on to the item.
    const auto typeReturn = [&](Qt::Key key, quint32 evdev) {
        const auto sent = [&](QEvent::Type type, QObject* receiver = nullptr) {
            QKeyEvent event(type, key, Qt::NoModifier, evdev + 8, 0, 0, QStringLiteral("\r"));
            event.setTimestamp(++test::displayClock);
            return send(event, receiver);
        };
        sent(QEvent::ShortcutOverride, button.get());
        const bool pressWentOn = sent(QEvent::KeyPress);
        const bool releaseWentOn = sent(QEvent::KeyRelease);
        return pressWentOn || releaseWentOn;
    };
    for (const InputMode mode : {InputMode::keyboardMouse, InputMode::keymap}) {
        session.router.setMode(mode);
        taken();
        EXPECT_FALSE(typeReturn(Qt::Key_Return, KEY_ENTER));
        EXPECT_FALSE(typeReturn(Qt::Key_Enter, KEY_KPENTER));
        EXPECT_EQ(button->property("clicks").toInt(), 0) << int(mode);
        if (mode == InputMode::keyboardMouse) {
            EXPECT_EQ(taken(),
                      (std::vector<ControlMessage>{
                          keyMessage(KeyAction::down, 66, 0), keyMessage(KeyAction::up, 66, 0),
                          keyMessage(KeyAction::down, 160, 0), keyMessage(KeyAction::up, 160, 0)}));
        }
    }
    // Off the stream the button has them.
    session.stream(false);
    tick();
    EXPECT_TRUE(typeReturn(Qt::Key_Return, KEY_ENTER));
    EXPECT_EQ(button->property("clicks").toInt(), 1);
}

// Counts the key events that went on, to any receiver.
class ReachedKeys : public QObject {
public:
    bool eventFilter(QObject* /*receiver*/, QEvent* event) override {
        count += dynamic_cast<QKeyEvent*>(event) ? 1 : 0;
        return false;
    }
    int count = 0;
};

// The display repeats a held key as a press alone, which Qt does not mark: Super+Q held must
// not quit through the question its first press asked, nor Q held before Super quit at all.
TEST(SuperChordFilterTest, OnlyAKeyPressedUnderSuperActsAndOnce) {
    HeldKeys::shared().forget();
    ReachedKeys reached;
    QCoreApplication::instance()->installEventFilter(&reached);
    {
        const SuperChordFilter filter;  // filters before what was installed earlier
        QWindow window;
        QObject focus;
        const auto sent = [&](QObject& to, QEvent::Type type, quint32 evdev, quint64 time,
                              Qt::KeyboardModifiers modifiers = Qt::MetaModifier) {
            test::KeyEvent key(type, evdev, modifiers);
            key.setTimestamp(time);
            const int before = reached.count;
            QCoreApplication::sendEvent(&to, &key);
            return reached.count > before;
        };
        // A press: its shortcut's override to the item with the focus, its key to the window.
        EXPECT_TRUE(sent(focus, QEvent::ShortcutOverride, KEY_Q, 10));
        EXPECT_TRUE(sent(window, QEvent::KeyPress, KEY_Q, 10));
        EXPECT_FALSE(sent(focus, QEvent::ShortcutOverride, KEY_Q, 40)) << "held";
        EXPECT_FALSE(sent(window, QEvent::KeyPress, KEY_Q, 40)) << "held";
        EXPECT_TRUE(sent(window, QEvent::KeyRelease, KEY_Q, 50));
        EXPECT_TRUE(sent(focus, QEvent::ShortcutOverride, KEY_Q, 60)) << "pressed again";
        // Held as the app went to the background, where its release went.
        QApplicationStateChangeEvent away(Qt::ApplicationInactive);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &away);
        EXPECT_TRUE(sent(focus, QEvent::ShortcutOverride, KEY_Q, 90));
        EXPECT_TRUE(sent(window, QEvent::KeyRelease, KEY_Q, 100));
        // Q held in a search field, then Super: its repeats under Super are no Super+Q.
        EXPECT_TRUE(sent(window, QEvent::KeyPress, KEY_Q, 110, {}));
        EXPECT_TRUE(sent(window, QEvent::KeyPress, KEY_Q, 150, {}));
        EXPECT_TRUE(sent(window, QEvent::KeyPress, KEY_LEFTMETA, 160, {}));
        EXPECT_FALSE(sent(focus, QEvent::ShortcutOverride, KEY_Q, 190));
        EXPECT_FALSE(sent(window, QEvent::KeyPress, KEY_Q, 190));
        // Let go and pressed again under Super: a chord.
        EXPECT_TRUE(sent(window, QEvent::KeyRelease, KEY_Q, 250));
        EXPECT_TRUE(sent(focus, QEvent::ShortcutOverride, KEY_Q, 260));
        // Its release went to the desktop's grab: seconds later, no repeat but a new press.
        EXPECT_FALSE(sent(focus, QEvent::ShortcutOverride, KEY_Q, 1500));
        EXPECT_TRUE(sent(focus, QEvent::ShortcutOverride, KEY_Q, 3600));
        // Typed within a millisecond of the display's time: the release is no second look at
        // the press, and the next press acts.
        EXPECT_TRUE(sent(focus, QEvent::ShortcutOverride, KEY_E, 3610));
        EXPECT_TRUE(sent(window, QEvent::KeyRelease, KEY_E, 3610));
        EXPECT_TRUE(sent(focus, QEvent::ShortcutOverride, KEY_E, 3640));
        // Another window of the app takes the keyboard: a key the display still has down is
        // held, one it has up was let go where no window of the app's heard it, in a window
        // closed under it.
        std::bitset<256> display;
        display.set(KEY_E + 8);
        const HeldKeys::DisplayKeys before =
            HeldKeys::shared().readDisplayWith([&display] { return display; });
        QFocusEvent in(QEvent::FocusIn);
        QCoreApplication::sendEvent(&window, &in);
        EXPECT_FALSE(sent(focus, QEvent::ShortcutOverride, KEY_E, 3680)) << "held";
        display.reset();
        QCoreApplication::sendEvent(&window, &in);
        EXPECT_TRUE(sent(focus, QEvent::ShortcutOverride, KEY_E, 3690)) << "pressed again";
        HeldKeys::shared().readDisplayWith(before);
        // Without Super a held key goes on: the game takes it.
        EXPECT_TRUE(sent(window, QEvent::KeyPress, KEY_A, 3700, {}));
        EXPECT_TRUE(sent(window, QEvent::KeyPress, KEY_A, 3730, {}));
    }
    QCoreApplication::instance()->removeEventFilter(&reached);
}

}  // namespace
}  // namespace qm
