// The keyboard shared with the desktop over the demo's stream: the window manager's own Super and
// Alt chords reach it at any speed, the app's reach the app, and what the app holds goes back.
#include <QTimer>
#include <QWheelEvent>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>

#include <linux/input-event-codes.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include "Desktop/XcbReply.h"
#include "JourneyTest.h"
#include "QuillmereCore/FileDescriptor.h"
#include "QuillmereCore/HostClock.h"
#include "Recording/RecordingController.h"
#include "Storage/AppSettings.h"

namespace qm {
namespace {

using test::DesktopUser;

// The app's input clock runs as the host's, moved on by the test.
class DesktopKeysJourneyTest : public JourneyTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(running.start({1280, 800}, [this](QSettings& defaults) {
            AppModelEnvironment environment = AppModelEnvironment::standard(defaults);
            environment.hostClock = [this] { return HostClock::nowNanos() + skipped; };
            environment.quit = [this, quit = environment.quit] {
                ++quits;
                quit();
            };
            return environment;
        }));
        window = &running.mainWindow();
    }

    test::PrivateDisplay& display() { return running.display(); }

    // Super+2 over the demo, past its notice, until the game holds the pointer.
    void enterKeyMapping() {
        ASSERT_TRUE(user().press("Meta+2"));
        QQuickItem* carryOn = nullptr;
        ASSERT_TRUE(DesktopUser::waitFor(
            [&] { return (carryOn = DesktopUser::shownWithText(*window, "Continue")); }));
        ASSERT_TRUE(user().click(carryOn));
        ASSERT_TRUE(DesktopUser::waitFor([&] { return model().pointerCaptured(); }));
    }

    // Holds the keys until the display repeats the last, then Super until it has repeated that
    // key under Super too, and lets all go.
    void holdThenSuper(const QString& keys, std::uint8_t repeated) {
        test::KeyEvents key(*window, repeated);
        ASSERT_TRUE(user().hands().hold(keys));
        ASSERT_TRUE(DesktopUser::waitFor([&] { return key.presses >= 3; }))
            << "the display repeats no key";
        ASSERT_TRUE(user().hands().hold("Meta"));
        const int before = key.presses;
        EXPECT_TRUE(DesktopUser::waitFor([&] { return key.presses >= before + 3; }))
            << "no repeat under Super";
        ASSERT_TRUE(user().hands().release("Meta"));
        ASSERT_TRUE(user().hands().release(keys));
    }

    std::uint64_t skipped = 0;
    int quits = 0;
};

TEST_F(DesktopKeysJourneyTest, TheDesktopKeepsItsKeysTheAppItsOwnAtAnySpeed) {
    const auto keymap = [&] { return model().streamKeymap(); };
    const auto took = [&](const char* chord) {
        return DesktopUser::waitFor([&] { return display().windowManagerTook(chord); });
    };

    const int ended = running.run({
        {"Super+L and Super+K over the demo's stream go to the desktop, Super still held",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(user().press("Meta+Shift+D"));
             expectDemoPlaying();
             ASSERT_TRUE(user().hands().hold("Meta"));
             ASSERT_TRUE(user().hands().press("L"));
             EXPECT_TRUE(took("Super+L"));
             // Nothing binds Super+K: handed on, it comes back, and goes no further.
             ASSERT_TRUE(user().hands().press("K"));
             ASSERT_TRUE(user().hands().release("Meta"));
         }},
        {"Super+E typed with no gap opens the editor, and again saves it, every time",
         [&] {
             for (int time = 0; time < 10; ++time) {
                 ASSERT_TRUE(user().hands().press("Meta+E"));
                 ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap()->isEditing(); }))
                     << "not opened at " << time;
                 ASSERT_TRUE(user().hands().press("Meta+E"));
                 ASSERT_TRUE(DesktopUser::waitFor([&] { return !keymap()->isEditing(); }))
                     << "not saved at " << time;
             }
             EXPECT_FALSE(display().windowManagerTook("Super+E"));
         }},
        {"Key Mapping with Super+2: Super+L still goes to the desktop, Super+E never did",
         [&] {
             ASSERT_NO_FATAL_FAILURE(enterKeyMapping());
             ASSERT_TRUE(user().press("Meta+L"));
             EXPECT_TRUE(took("Super+L"));
             EXPECT_FALSE(display().windowManagerTook("Super+E"));
         }},
        {"D held for the game's stick, repeated by the display: each Super+Shift+H typed beside "
         "it switches the HUD",
         [&] {
             const test::KeyEvents stick(*window, KEY_D + 8);
             ASSERT_TRUE(user().hands().hold("D"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return stick.presses >= 3; }))
                 << "the display repeats no key";
             for (int time = 0; time < 3; ++time) {
                 const AppSettings::HUDStyle before = settings().hudStyle();
                 ASSERT_TRUE(user().press("Meta+Shift+H"));
                 EXPECT_TRUE(DesktopUser::waitFor([&] { return settings().hudStyle() != before; }))
                     << "lost at " << time;
             }
             ASSERT_TRUE(user().hands().release("D"));
         }},
        {"W and Super+L typed fifty times, each as the app hands on the Super+L before, every "
         "other one still held as it does: each goes to the desktop",
         [&] {
             int typed = 0;
             const auto type = [&] {
                 if (typed++ >= 50) {
                     return;
                 }
                 user().hands().press("W");
                 if (typed % 2) {
                     user().hands().press("Meta+L");
                     return;
                 }
                 // The next Super takes the keyboard, and L is down again, as the app hands on.
                 user().hands().hold("Meta+L");
                 QTimer::singleShot(0, [&] { user().hands().release("Meta+L"); });
             };
             const test::KeyEvents next(*window, KEY_L + 8, type);
             type();
             // A busy machine types slowly: each chord has the whole wait to come back.
             for (int before = 0; typed <= 50; before = typed) {
                 ASSERT_TRUE(DesktopUser::waitFor([&] { return typed > before; }))
                     << "no chord came back after " << typed;
             }
             EXPECT_TRUE(
                 DesktopUser::waitFor([&] { return display().windowManagerTook("Super+L", 50); }));
         }},
        {"Alt held shows the pointer, whose click opens the mode menu past openbox's Alt+click",
         [&] {
             // The player is back: the game holds the keyboard and the mouse again.
             ASSERT_TRUE(user().moveTo(window->mapToGlobal(QPoint(100, 100))));
             ASSERT_TRUE(user().hands().hold("Alt"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !model().pointerCaptured(); }));
             ASSERT_TRUE(user().click(shown("modeMenuButton")));
             EXPECT_TRUE(DesktopUser::waitFor([&] { return DesktopUser::menuOpen(*window); }));
             ASSERT_TRUE(user().hands().release("Alt"));
             closeMenus();
         }},
        {"a minute without the player: another client can take the keyboard, until a key",
         [&] {
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !display().keyboardFree(); }));
             skipped += 61'000'000'000;
             ASSERT_TRUE(DesktopUser::waitFor([&] { return display().keyboardFree(); }));
             ASSERT_TRUE(user().press("J"));
             EXPECT_TRUE(DesktopUser::waitFor([&] { return !display().keyboardFree(); }));
         }},
        {"Alt+Tab in Key Mapping goes to the desktop however soon Alt comes up, twice at once, and "
         "Alt+Shift+Tab: each time the switcher lets go of the keyboard",
         [&] {
             const auto typed = [&](const char* chord, int times) {
                 ASSERT_TRUE(user().press("J"));
                 ASSERT_TRUE(DesktopUser::waitFor([&] { return !display().keyboardFree(); }));
                 for (int time = 0; time < times; ++time) {
                     ASSERT_TRUE(user().hands().press(chord));
                 }
                 EXPECT_TRUE(took(chord));
                 EXPECT_TRUE(DesktopUser::waitFor([&] { return display().keyboardFree(); }));
             };
             typed("Alt+Tab", 1);
             typed("Alt+Tab", 2);
             typed("Alt+Shift+Tab", 1);
             ASSERT_TRUE(user().press("J"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !display().keyboardFree(); }));
         }},
        {"Alt+Tab in Key Mapping goes to the desktop, Alt still held as the switcher wants",
         [&] {
             ASSERT_TRUE(user().hands().hold("Alt"));
             ASSERT_TRUE(user().hands().press("Tab"));
             // Let go sooner, and the switcher would never see Alt go up.
             EXPECT_TRUE(DesktopUser::waitFor([&] { return display().switcherShown(); }));
             ASSERT_TRUE(user().hands().release("Alt"));
             EXPECT_TRUE(took("Alt+Tab"));
             ASSERT_TRUE(user().activate(*window));
             // The window manager may hold the keyboard a moment after its binding ran.
             ASSERT_TRUE(DesktopUser::waitFor([&] { return display().keyboardFree(); }));
         }},
        {"Alt+F4 in Key Mapping quits, as the window's close does",
         [&] {
             ASSERT_TRUE(user().press("J"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !display().keyboardFree(); }));
             ASSERT_TRUE(user().press("Alt+F4"));
         }},
    });
    EXPECT_EQ(ended, 0);
}

// The display's stamp of the latest press of a key the window got.
class PressStamps : public QObject {
public:
    PressStamps(QWindow& window, quint32 code) : window_(window), code_(code) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~PressStamps() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (receiver == &window_ && event->type() == QEvent::KeyPress &&
            static_cast<const QKeyEvent*>(event)->nativeScanCode() == code_) {
            last = static_cast<const QKeyEvent*>(event)->timestamp();
        }
        return false;
    }

    std::optional<quint64> last;

private:
    QWindow& window_;
    quint32 code_;
};

TEST_F(DesktopKeysJourneyTest, AChordHeldPastSuperReachesTheDesktopByTheDisplaysTime) {
    const int ended = running.run({
        {"over the demo's stream, Super+L typed and L held a second of the display's time after "
         "Super went up: the window manager gets it",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(user().press("Meta+Shift+D"));
             expectDemoPlaying();
             const PressStamps repeats(*window, KEY_L + 8);
             ASSERT_TRUE(user().hands().hold("Meta+L"));
             ASSERT_TRUE(user().hands().release("Meta"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return repeats.last.has_value(); }));
             const quint64 superUp = *repeats.last;
             ASSERT_TRUE(DesktopUser::waitFor([&] { return *repeats.last > superUp + 1'100; }))
                 << "the display repeats no key";
             ASSERT_TRUE(user().hands().release("L"));
             EXPECT_TRUE(
                 DesktopUser::waitFor([&] { return display().windowManagerTook("Super+L"); }));
         }},
        {"Quit with Super+Q", [&] { ASSERT_TRUE(user().press("Meta+Q")); }},
    });
    EXPECT_EQ(ended, 0);
}

// Every key and button press that reaches a window of the app.
class AppInput : public QObject {
public:
    AppInput() { QCoreApplication::instance()->installEventFilter(this); }
    ~AppInput() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (qobject_cast<QWindow*>(receiver) &&
            (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress)) {
            ++presses;
        }
        return false;
    }

    int presses = 0;
};

// The window in front has the keyboard and the pointer, whatever the game did before it was
// left: a chat beside it gets what is typed and clicked there.
TEST_F(DesktopKeysJourneyTest, AltTabToAChatLeavesItTheKeyboardAndThePointer) {
    test::OtherClientWindow chat;
    // "f q hello" typed and a click in the chat, the window manager's active window, and back
    // to the game.
    const auto typeInTheChat = [&] {
        ASSERT_TRUE(DesktopUser::waitFor([&] { return chat.active(); }));
        // The app has read what the display told it up to now: the person sees the chat in
        // front, and types.
        std::free(xcb_get_input_focus_reply(x11Connection(), xcb_get_input_focus(x11Connection()),
                                            nullptr));
        QCoreApplication::processEvents();
        const AppInput played;
        const int keys = chat.keys();
        const int clicks = chat.clicks();
        const std::array typed{"F", "Space", "Q", "Space", "H", "E", "L", "L", "O"};
        for (const char* key : typed) {
            ASSERT_TRUE(user().hands().press(key));
        }
        user().hands().click(chat.middle());
        EXPECT_TRUE(DesktopUser::waitFor([&] {
            return chat.keys() == keys + int(typed.size()) && chat.clicks() == clicks + 1;
        })) << chat.keys() - keys
            << " keys and " << chat.clicks() - clicks << " clicks";
        EXPECT_EQ(played.presses, 0);
        EXPECT_TRUE(DesktopUser::waitFor([&] {
            return display().keyboardFree() && display().pointerFree();
        })) << "the app holds on";
        ASSERT_TRUE(user().activate(*window));
        closeMenus();
        ASSERT_TRUE(user().press("J"));
        ASSERT_TRUE(DesktopUser::waitFor([&] { return !display().keyboardFree(); }));
    };
    // An Alt+Tab flick at a hand's pace, each key some 40 ms after the one before: Alt goes up
    // long before the switcher would show. Typed at the display's own speed, Alt would go up
    // before the window manager takes the keyboard for its switcher, which then waits for it.
    const auto flick = [&] {
        const std::array<std::pair<const char*, bool>, 4> keys{
            {{"Alt", true}, {"Tab", true}, {"Tab", false}, {"Alt", false}}};
        std::size_t typed = 0;
        const std::function<void()> next = [&] {
            const auto [key, down] = keys[typed];
            static_cast<void>(down ? user().hands().hold(key) : user().hands().release(key));
            if (++typed < keys.size()) {
                QTimer::singleShot(40, next);
            }
        };
        next();
        ASSERT_TRUE(DesktopUser::waitFor([&] { return typed == keys.size(); }));
    };
    const auto toTheChat = [&] {
        ASSERT_NO_FATAL_FAILURE(flick());
        typeInTheChat();
    };
    const int ended = running.run({
        {"Key Mapping over the demo, a chat beside it",
         [&] {
             // The window manager gives a new window the focus.
             ASSERT_TRUE(DesktopUser::waitFor([&] { return chat.active(); }));
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(user().press("Meta+Shift+D"));
             expectDemoPlaying();
             ASSERT_NO_FATAL_FAILURE(enterKeyMapping());
         }},
        {"a plain Alt+Tab", [&] { toTheChat(); }},
        {"W, Super+L handed on, then an Alt+Tab flick",
         [&] {
             ASSERT_TRUE(user().press("W"));
             ASSERT_TRUE(user().press("Meta+L"));
             EXPECT_TRUE(
                 DesktopUser::waitFor([&] { return display().windowManagerTook("Super+L"); }));
             toTheChat();
         }},
        {"Super+D handed on, then Alt+Tab",
         [&] {
             ASSERT_TRUE(user().press("W"));
             ASSERT_TRUE(user().press("Meta+D"));
             // The desktop shown: no window of the app's or the chat's shows.
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !window->isExposed(); }));
             // And back, the game in front again.
             ASSERT_TRUE(user().hands().press("Meta+D"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return window->isExposed(); }));
             ASSERT_TRUE(user().activate(*window));
             toTheChat();
         }},
        {"the mode menu opened with Alt+click, then Alt+Tab",
         [&] {
             ASSERT_TRUE(user().hands().hold("Alt"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !model().pointerCaptured(); }));
             ASSERT_TRUE(user().click(shown("modeMenuButton")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return DesktopUser::menuOpen(*window); }));
             ASSERT_TRUE(user().hands().release("Alt"));
             toTheChat();
         }},
        {"a Super+1, Super+2 round trip, then Alt+Tab",
         [&] {
             ASSERT_TRUE(user().press("Meta+1"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !model().pointerCaptured(); }));
             ASSERT_TRUE(user().press("Meta+2"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return model().pointerCaptured(); }));
             toTheChat();
         }},
        {"Quit with Super+Q", [&] { ASSERT_TRUE(user().press("Meta+Q")); }},
    });
    EXPECT_EQ(ended, 0);
}

// A test killed takes its display's server and window manager with it.
TEST(PrivateDisplayTest, EndsWithTheTestHoweverItEnds) {
    using namespace std::chrono_literals;
    // Generous: the machine may be busy with builds and sanitizers.
    constexpr int limit = int(std::chrono::milliseconds(60s).count());
    std::array<int, 2> pipe{};
    ASSERT_EQ(::pipe(pipe.data()), 0);
    const FileDescriptor started(pipe[0]);
    const pid_t killed = fork();
    ASSERT_GE(killed, 0);
    if (killed == 0) {
        test::PrivateDisplay display;
        std::array<pid_t, 2> processes{-1, -1};
        if (display.start({320, 240})) {
            processes = {display.server(), display.manager()};
        }
        if (write(pipe[1], processes.data(), sizeof processes) == sizeof processes) {
            pause();
        }
        _exit(1);
    }
    close(pipe[1]);
    std::array<pid_t, 2> processes{-1, -1};
    pollfd told{started.get(), POLLIN, 0};
    const bool heard = poll(&told, 1, limit) == 1 &&
                       read(started.get(), processes.data(), sizeof processes) == sizeof processes;
    std::array<FileDescriptor, 2> watched;
    for (std::size_t i = 0; i < processes.size(); ++i) {
        watched[i] =
            FileDescriptor(processes[i] > 0 ? int(syscall(SYS_pidfd_open, processes[i], 0)) : -1);
    }
    kill(killed, SIGKILL);
    waitpid(killed, nullptr, 0);
    ASSERT_TRUE(heard && watched[0] && watched[1]) << "the display did not start";
    for (std::size_t i = 0; i < processes.size(); ++i) {
        pollfd ended{watched[i].get(), POLLIN, 0};
        EXPECT_EQ(poll(&ended, 1, limit), 1)
            << (i == 0 ? "Xvfb" : "openbox") << " outlived the test";
        if (!(ended.revents & POLLIN)) {
            kill(processes[i], SIGKILL);
        }
    }
}

// X repeats a held key also while Super goes down: those repeats are no Super chords.
TEST_F(DesktopKeysJourneyTest, AKeyHeldBeforeSuperFiresNoShortcut) {
    const int ended = running.run({
        {"Q held on the set-up screen, then Super: the app stays",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             holdThenSuper("Q", KEY_Q + 8);
             EXPECT_EQ(quits, 0);
         }},
        {"Shift+D held, then Super: no demo",
         [&] {
             holdThenSuper("Shift+D", KEY_D + 8);
             EXPECT_EQ(model().sessionObject(), nullptr);
         }},
        {"over the demo, R held, then Super: no recording; Q neither quits",
         [&] {
             ASSERT_TRUE(user().press("Meta+Shift+D"));
             expectDemoPlaying();
             holdThenSuper("R", KEY_R + 8);
             EXPECT_FALSE(model().recording()->isRecording());
             holdThenSuper("Q", KEY_Q + 8);
             EXPECT_EQ(quits, 0);
         }},
        {"a real Super+Q quits", [&] { ASSERT_TRUE(user().press("Meta+Q")); }},
    });
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(quits, 1);
}

// The window in front has the keyboard: the game's only while its window is.
TEST_F(DesktopKeysJourneyTest, KeysGoToTheWindowInFront) {
    // Opens the window and types in it; then the stream's window is in front again.
    const auto typeIn = [&](const QString& title, const std::function<void()>& open) {
        open();
        QQuickWindow* front = nullptr;
        ASSERT_TRUE(DesktopUser::waitFor([&] {
            front = DesktopUser::window(title);
            return front && DesktopUser::focusWindow() == front;
        })) << title.toStdString();
        const test::KeyEvents typed(*front, KEY_J + 8);
        const test::KeyEvents played(*window, KEY_J + 8);
        for (int time = 0; time < 3; ++time) {
            ASSERT_TRUE(user().press("Tab"));
            ASSERT_TRUE(user().press("J"));
        }
        EXPECT_TRUE(DesktopUser::waitFor([&] { return typed.presses == 3; }))
            << title.toStdString() << " got " << typed.presses << " of 3";
        EXPECT_EQ(played.presses, 0) << title.toStdString();
        front->close();
        ASSERT_TRUE(user().activate(*window));
        ASSERT_TRUE(user().press("J"));
        EXPECT_TRUE(DesktopUser::waitFor([&] { return !display().keyboardFree(); }));
    };
    // F10 opens the first menu, where the item is chosen.
    const auto fromMenu = [&](const QString& item) {
        return [this, item] {
            ASSERT_TRUE(user().press("F10"));
            ASSERT_TRUE(DesktopUser::waitFor(
                [&] { return DesktopUser::menuItem(*window, item) != nullptr; }));
            ASSERT_TRUE(user().click(DesktopUser::menuItem(*window, item)));
        };
    };
    const int ended = running.run({
        {"Key Mapping over the demo, and a visit to the editor",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(user().press("Meta+Shift+D"));
             expectDemoPlaying();
             ASSERT_NO_FATAL_FAILURE(enterKeyMapping());
             ASSERT_TRUE(user().press("Meta+E"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return model().streamKeymap()->isEditing(); }));
             ASSERT_TRUE(user().press("Meta+E"));
             ASSERT_TRUE(
                 DesktopUser::waitFor([&] { return !model().streamKeymap()->isEditing(); }));
             ASSERT_TRUE(user().press("J"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !display().keyboardFree(); }));
         }},
        {"Settings with Super+,", [&] { typeIn("Settings", [&] { user().press("Meta+,"); }); }},
        {"Settings from the menu with F10", [&] { typeIn("Settings", fromMenu("Settings…")); }},
        {"the guide with Super+?",
         [&] { typeIn("Vantorel Guide", [&] { user().press("Meta+?"); }); }},
        {"About from the menu", [&] { typeIn("About Vantorel", fromMenu("About Vantorel")); }},
        {"the game takes the keyboard again as the window manager gives it to Settings",
         [&] {
             typeIn("Settings", [&] {
                 // Settings behind, and the game yielded after a chord it handed on.
                 ASSERT_TRUE(user().press("Meta+,"));
                 ASSERT_TRUE(DesktopUser::waitFor([&] {
                     return DesktopUser::focusWindow() == DesktopUser::window("Settings");
                 }));
                 ASSERT_TRUE(user().activate(*window));
                 ASSERT_TRUE(user().press("Meta+K"));
                 ASSERT_TRUE(DesktopUser::waitFor([&] { return display().keyboardFree(); }));
                 // The player's wheel reaches the window before the app has heard of the focus.
                 xcb_connection_t* connection = x11Connection();
                 xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT,
                                     xcb_window_t(DesktopUser::window("Settings")->winId()),
                                     XCB_CURRENT_TIME);
                 std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection),
                                                     nullptr));
                 QWheelEvent wheel({10, 10}, window->mapToGlobal(QPointF(10, 10)), {}, {0, 120},
                                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                 QCoreApplication::sendEvent(window, &wheel);
                 EXPECT_FALSE(display().keyboardFree()) << "the game has the keyboard";
             });
         }},
        {"Quit with Super+Q", [&] { ASSERT_TRUE(user().press("Meta+Q")); }},
    });
    EXPECT_EQ(ended, 0);
}

}  // namespace
}  // namespace qm
