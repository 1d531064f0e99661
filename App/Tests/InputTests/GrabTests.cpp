// The one rule of what a stream window holds of the keyboard and the pointer, and random evenings
// at a desktop that prove it.
#include <QMouseEvent>
#include <algorithm>
#include <random>
#include <set>
#include <string>

#include <linux/input-event-codes.h>

#include <gtest/gtest.h>

#include "Input/GrabRule.h"
#include "InputFakes.h"

namespace qm {
namespace {

using test::InputFixture;

TEST(GrabRuleTest, TheWindowHoldsTheKeyboardAndThePointerOnlyInFrontAndForTheGame) {
    const GrabFacts playing{
        .focused = true, .active = true, .keysFree = true, .gameKeys = true, .gameMouse = true};
    const auto with = [&](auto change) {
        GrabFacts facts = playing;
        change(facts);
        return facts;
    };
    const GrabState held{.keyboard = true, .mouse = true};
    const GrabState yielded{.yielded = true};
    struct Row {
        const char* name;
        GrabState state;
        GrabEvent event;
        GrabFacts facts;
        bool keyboard;
        bool mouse;
        bool yielded;
    };
    const Row rows[] = {
        {"a game in front", {}, GrabEvent::changed, playing, true, true, false},
        {"no window manager names one: Qt's focus",
         {},
         GrabEvent::changed,
         with([](GrabFacts& f) { f.active.reset(); }),
         true,
         true,
         false},
        {"another window made active, no focus out reached the app", held, GrabEvent::changed,
         with([](GrabFacts& f) { f.active = false; }), false, false, false},
        {"active, the focus not here yet",
         {},
         GrabEvent::changed,
         with([](GrabFacts& f) { f.focused = false; }),
         false,
         false,
         false},
        {"a menu open: the pointer only", held, GrabEvent::changed,
         with([](GrabFacts& f) { f.keysFree = false; }), false, true, false},
        {"the game left with Super held keeps the keyboard",
         {.superHeld = true, .keyboard = true},
         GrabEvent::changed,
         with([](GrabFacts& f) { f.gameKeys = f.gameMouse = false; }),
         true,
         false,
         false},
        {"Super held takes no keyboard not held",
         {.superHeld = true},
         GrabEvent::changed,
         with([](GrabFacts& f) { f.gameKeys = false; }),
         false,
         true,
         false},
        {"Super up",
         {.superHeld = true, .keyboard = true},
         GrabEvent::superUp,
         with([](GrabFacts& f) { f.gameKeys = false; }),
         false,
         true,
         false},
        {"Super down",
         {.keyboard = true},
         GrabEvent::superDown,
         with([](GrabFacts& f) { f.gameKeys = false; }),
         true,
         true,
         false},
        {"Super let go elsewhere",
         {.superHeld = true, .keyboard = true},
         GrabEvent::focusLost,
         with([](GrabFacts& f) { f.gameKeys = false; }),
         false,
         true,
         false},
        {"a restart keeps the keyboard", held, GrabEvent::changed,
         with([](GrabFacts& f) { f.gameKeys = f.gameMouse = false, f.restarting = true; }), true,
         false, false},
        {"a chord handed on", held, GrabEvent::handedOn, playing, false, false, true},
        {"the idle minute", held, GrabEvent::idle, playing, false, false, true},
        {"another client has the keyboard", held, GrabEvent::refused, playing, false, false, true},
        {"the player's input in front", yielded, GrabEvent::playerInput, playing, true, true,
         false},
        {"input read past a grab while another window is active", yielded, GrabEvent::playerInput,
         with([](GrabFacts& f) { f.active = false; }), false, false, true},
    };
    for (const Row& row : rows) {
        const GrabState next = nextGrabs(row.state, row.event, row.facts);
        EXPECT_EQ(next.keyboard, row.keyboard) << row.name;
        EXPECT_EQ(next.mouse, row.mouse) << row.name;
        EXPECT_EQ(next.yielded, row.yielded) << row.name;
    }
}

// The desktop around a stream window as its X server and window manager keep it: where each key
// and click goes (a grab's holder, the Super key's own grab, the window manager's bindings, the
// window in front), and what the app is told of it, its focus events lost at times.
class Desktop {
public:
    enum class Window { stream, settings, chat, windowManager };

    // Begins an evening in a fixture that may have had one.
    Desktop(InputFixture& f, std::uint32_t seed) : f_(f), random_(seed) {
        f_.coordinator.detach();
        HeldKeys::shared().forget();
        f_.session.messages.clear();
        f_.view.key = true;
        f_.view.menuOpen = false;
        f_.view.otherClientHoldsKeyboard = false;
        test::lockThePointer(f_);
        f_.view.active = true;
        f_.view.keysDownOnDisplay = [this](std::uint32_t native) {
            return down_.contains(native - 8);
        };
        f_.view.displayNow = clock_;
    }

    // One event of a person's evening, chosen at random; its name goes to the log.
    void step() {
        const auto pick = [&](int n) { return int(random_() % std::uint32_t(n)); };
        const std::uint32_t gameKeys[] = {KEY_W, KEY_A, KEY_D, KEY_F, KEY_Q, KEY_SPACE};
        pass(std::uint32_t(10 + pick(300)));
        switch (pick(20)) {
            case 0:
            case 1: {
                const std::uint32_t code = gameKeys[pick(6)];
                log(down_.contains(code) ? "release " : "press ", code);
                key(code, !down_.contains(code));
                break;
            }
            case 2:
                log("motion");
                motion();
                break;
            case 3:
                log(buttonDown_ ? "button up" : "button down");
                button(!buttonDown_);
                break;
            case 4:
                log(down_.contains(KEY_LEFTMETA) ? "Super up" : "Super down");
                key(KEY_LEFTMETA, !down_.contains(KEY_LEFTMETA));
                break;
            case 5: {
                const std::uint32_t chords[] = {KEY_1, KEY_2, KEY_E, KEY_L};
                const std::uint32_t code = chords[pick(4)];
                log("Super+", code);
                superChord(code);
                break;
            }
            case 6:
                log("Alt+Tab flick");
                altTab(false);
                break;
            case 7:
                log("Alt+Tab slow");
                altTab(true);
                break;
            case 8:
            case 9: {
                const auto to = Window(pick(3));
                const bool focusEvent = pick(2) == 0;
                const bool propertyFirst = pick(2) == 0;
                log(focusEvent ? "activate " : "activate, no focus event, ", int(to));
                activate(to, focusEvent, propertyFirst);
                break;
            }
            case 10:
                log(f_.view.menuOpen ? "menu closed" : "menu opened");
                f_.view.menuOpen = !f_.view.menuOpen;
                if (f_.view.menuOpen) {
                    f_.coordinator.windowLostFocus();
                }
                break;
            case 11:
                log("the idle minute");
                f_.now += 61'000'000'000;
                break;
            case 12:
                log("restart");
                f_.session.restart();
                break;
            case 13:
                log("streaming");
                f_.session.stream(true);
                break;
            case 14: {
                const std::uint32_t code = gameKeys[pick(6)];
                const bool heldOn = pick(2) == 0;
                log(heldOn ? "stall, then held: " : "stall, typed: ", code);
                stall(code, heldOn);
                break;
            }
            default:
                log("tick");
                break;
        }
        f_.tick();
        readPhone();
    }

    // The person lets go of everything and goes to the chat.
    void leave() {
        log("leave");
        for (const std::uint32_t code : std::set<std::uint32_t>(down_)) {
            key(code, false);
        }
        if (buttonDown_) {
            button(false);
        }
        activate(Window::chat, true, true);
        f_.tick();
        readPhone();
    }

    // Empty while the rule holds.
    std::string broken() const {
        const bool holds = f_.view.keyboardGrabbed || f_.view.mouseGrabbed;
        if (holds && (focus_ != Window::stream || switcher_)) {
            return "the app holds the keyboard or the pointer while not in front";
        }
        const bool editing = f_.keymap.isEditing();
        const bool restarting = f_.session.phase().kind() == SessionPhase::Kind::starting;
        const bool gameKeys =
            !editing && (f_.session.router.mode() == InputMode::keymap || f_.model.pointerCaptured);
        if (f_.view.keyboardGrabbed && !gameKeys && !restarting && !down_.contains(KEY_LEFTMETA)) {
            return "the app holds the keyboard that no game wants";
        }
        if (f_.view.mouseGrabbed && (editing || !f_.session.router.playsLook())) {
            return "the app holds the pointer that no look zone wants";
        }
        if (latePlayed_) {
            return "a press read late was played";
        }
        if (!phoneHeld_.empty() && focus_ != Window::stream) {
            return "the phone holds a press of a window not in front";
        }
        return {};
    }
    bool phoneHoldsNothing() const { return phoneHeld_.empty(); }
    const std::string& story() const { return story_; }

private:
    void log(const std::string& what, std::uint32_t code = 0) {
        story_ += "\n  " + what + (code ? std::to_string(code) : std::string());
    }
    void log(const std::string& what, int value) {
        story_ += "\n  " + what + std::to_string(value);
    }

    // The display's time and the app's clock move on.
    void pass(std::uint32_t ms) {
        clock_ += ms;
        f_.now += std::uint64_t(ms) * 1'000'000;
        f_.view.displayNow = clock_;
    }

    Window keysGoTo(std::uint32_t code, bool press) const {
        if (switcher_) {
            return Window::windowManager;
        }
        if (f_.view.keyboardGrabbed || superGrab_) {
            return Window::stream;
        }
        // Its own bindings, grabbed on the root: Alt+Tab.
        if (press && code == KEY_TAB && down_.contains(KEY_LEFTALT)) {
            return Window::windowManager;
        }
        return focus_;
    }

    Qt::KeyboardModifiers modifiers() const {
        Qt::KeyboardModifiers held;
        held.setFlag(Qt::MetaModifier, down_.contains(KEY_LEFTMETA));
        held.setFlag(Qt::AltModifier, down_.contains(KEY_LEFTALT));
        return held;
    }

    // Where it went.
    Window key(std::uint32_t code, bool press) {
        Window to = keysGoTo(code, press);
        // The Super key's grab, the window's own: the display holds the keyboard for it.
        if (press && code == KEY_LEFTMETA && to == Window::stream) {
            superGrab_ = true;
        }
        const Qt::KeyboardModifiers held = modifiers();
        if (press) {
            down_.insert(code);
        } else {
            down_.erase(code);
            superGrab_ = superGrab_ && code != KEY_LEFTMETA;
        }
        if (to == Window::stream) {
            const int ungrabs = f_.view.ungrabs;
            test::KeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, code, held);
            event.setTimestamp(clock_);
            f_.send(std::move(event));
            // Letting go of the keyboard ends the Super key's grab too.
            superGrab_ = superGrab_ && f_.view.ungrabs == ungrabs;
        }
        return to;
    }

    void superChord(std::uint32_t code) {
        const bool held = down_.contains(KEY_LEFTMETA);
        if (!held) {
            key(KEY_LEFTMETA, true);
        }
        key(code, true);
        pass(20);
        key(code, false);
        if (!held) {
            key(KEY_LEFTMETA, false);
        }
    }

    void altTab(bool slow) {
        key(KEY_LEFTALT, true);
        const std::size_t handedOn = f_.view.handedOn.size();
        const bool toManager = key(KEY_TAB, true) == Window::windowManager;
        key(KEY_TAB, false);
        // The window manager takes the keyboard for its switcher, which it can only while the
        // app holds none.
        if ((!toManager && f_.view.handedOn.size() == handedOn) || f_.view.keyboardGrabbed) {
            key(KEY_LEFTALT, false);
            return;
        }
        if (slow) {
            switcher_ = true;
            f_.view.otherClientHoldsKeyboard = true;
            pass(400);
            f_.tick();
        }
        key(KEY_LEFTALT, false);
        switcher_ = false;
        f_.view.otherClientHoldsKeyboard = false;
        activate(focus_ == Window::stream ? Window::chat : Window::stream, true,
                 random_() % 2 == 0);
    }

    void activate(Window to, bool focusEvent, bool propertyFirst) {
        focus_ = to;
        const auto property = [&] {
            f_.view.active = to == Window::stream;
            f_.coordinator.focusMoved();
        };
        const auto focus = [&] {
            if (focusEvent) {
                f_.view.key = to == Window::stream;
                f_.coordinator.focusMoved();
            }
        };
        if (propertyFirst) {
            property();
            focus();
        } else {
            focus();
            property();
        }
    }

    void motion() {
        if (f_.view.mouseGrabbed || focus_ == Window::stream) {
            const QPointF at(double(10 + random_() % 380), double(10 + random_() % 280));
            QMouseEvent event(QEvent::MouseMove, at, at, at, Qt::NoButton,
                              buttonDown_ ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            event.setTimestamp(clock_);
            f_.send(std::move(event));
        }
    }

    void button(bool down) {
        buttonDown_ = down;
        // The pointer is over the window in front; a grab takes the click wherever it is.
        if (f_.view.mouseGrabbed || focus_ == Window::stream) {
            const QPointF at(200, 150);
            QMouseEvent event(down ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, at, at,
                              at, Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            event.setTimestamp(clock_);
            f_.send(std::move(event));
        }
    }

    // The app stopped for seconds: what was typed meanwhile is read late, a key perhaps still
    // held.
    void stall(std::uint32_t code, bool heldOn) {
        if (down_.contains(code)) {
            return;
        }
        const std::uint32_t stamp = clock_;
        pass(1500);
        if (heldOn) {
            down_.insert(code);
        }
        const std::size_t before = f_.session.messages.size();
        for (const bool press : {true, false}) {
            if ((press || !heldOn) && keysGoTo(code, press) == Window::stream) {
                test::KeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, code,
                                     modifiers());
                event.setTimestamp(stamp + (press ? 0 : 50));
                f_.send(std::move(event));
            }
        }
        const auto pressed = [](const ControlMessage& message) {
            const auto* touch = std::get_if<InjectTouch>(&message);
            const auto* keycode = std::get_if<InjectKeycode>(&message);
            return (touch && touch->action == MotionAction::down) ||
                   (keycode && keycode->action == KeyAction::down);
        };
        latePlayed_ = latePlayed_ ||
                      (!heldOn && std::any_of(f_.session.messages.begin() + std::ptrdiff_t(before),
                                              f_.session.messages.end(), pressed));
    }

    // Every press the phone got and not yet its release.
    void readPhone() {
        for (; read_ < f_.session.messages.size(); ++read_) {
            const ControlMessage& message = f_.session.messages[read_];
            if (const auto* touch = std::get_if<InjectTouch>(&message)) {
                if (touch->action == MotionAction::down) {
                    phoneHeld_.insert({0, touch->pointerID});
                } else if (touch->action == MotionAction::up) {
                    phoneHeld_.erase({0, touch->pointerID});
                }
            } else if (const auto* keycode = std::get_if<InjectKeycode>(&message)) {
                const std::pair<int, std::uint64_t> held{1, std::uint64_t(keycode->keycode)};
                if (keycode->action == KeyAction::down) {
                    phoneHeld_.insert(held);
                } else {
                    phoneHeld_.erase(held);
                }
            }
        }
    }

    InputFixture& f_;
    std::minstd_rand random_;
    std::uint32_t clock_ = 100'000;
    Window focus_ = Window::stream;
    bool switcher_ = false;
    bool superGrab_ = false;
    std::set<std::uint32_t> down_;
    bool buttonDown_ = false;
    std::set<std::pair<int, std::uint64_t>> phoneHeld_;
    bool latePlayed_ = false;
    std::size_t read_ = 0;
    std::string story_;
};

// Seeded random evenings: after every event the app holds the keyboard or the pointer only while
// its stream window is the one in front and the game wants them, and the phone holds nothing of
// a window behind; once the person lets go and leaves, every press the phone got has its release.
TEST(GrabWalkTest, TheWindowInFrontOwnsTheKeyboardAndThePointerWhateverTheDesktopDoes) {
    constexpr std::uint32_t walks = 2000;
    constexpr int steps = 40;
    InputFixture f(false);
    for (std::uint32_t seed = 1; seed <= walks; ++seed) {
        Desktop desktop(f, seed);
        std::string broken;
        for (int step = 0; step < steps && broken.empty(); ++step) {
            desktop.step();
            broken = desktop.broken();
        }
        if (broken.empty()) {
            desktop.leave();
            broken = desktop.broken();
            if (broken.empty() && !desktop.phoneHoldsNothing()) {
                broken = "a press the phone got has no release";
            }
        }
        ASSERT_EQ(broken, "") << "seed " << seed << ":" << desktop.story();
    }
}

}  // namespace
}  // namespace qm
