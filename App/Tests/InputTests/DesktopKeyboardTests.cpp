// The keyboard shared with the desktop, on the test display: what a hand-on asks of the X server
// and what it leaves the other clients.
#include <QAbstractNativeEventFilter>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include "Desktop/XcbReply.h"
#include "DesktopUser.h"
#include "Input/DesktopKeyboard.h"
#include "QuillmereCore/FileDescriptor.h"

extern char** environ;

namespace qm {
namespace {

using namespace std::chrono_literals;
using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;

// A connection of its own to the test display, whose answers the test can hold back: the client
// then waits for them as a stopped process would, while the server has handled its requests.
class HeldConnection {
public:
    HeldConnection() : connection_(xcb_connect(nullptr, nullptr), &xcb_disconnect) {
        if (xcb_connection_has_error(connection_.get())) {
            return;
        }
        // The connection's own descriptor becomes this end of a pair; the relay between the
        // pair's other end and the server runs on a thread.
        const int own = xcb_get_file_descriptor(connection_.get());
        std::array<int, 2> pair{};
        server_ = FileDescriptor(dup(own));
        if (!server_ || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair.data()) != 0) {
            return;
        }
        dup2(pair[0], own);
        close(pair[0]);
        client_ = FileDescriptor(pair[1]);
        relay_ = std::jthread([this](const std::stop_token& stop) { relay(stop); });
    }
    ~HeldConnection() {
        letGo();
        relay_.request_stop();
        wake();
        if (relay_.joinable()) {
            relay_.join();
        }
    }

    HeldConnection(const HeldConnection&) = delete;
    HeldConnection& operator=(const HeldConnection&) = delete;

    xcb_connection_t* get() const { return relay_.joinable() ? connection_.get() : nullptr; }

    // From now on what the server sends waits here, past the first `letThrough` answers. The
    // connection must have no answer due.
    void hold(int letThrough = 0) {
        const std::scoped_lock lock(mutex_);
        held_ = true;
        letThrough_ = letThrough;
        replies_ = 0;
    }
    void letGo() {
        {
            const std::scoped_lock lock(mutex_);
            held_ = false;
        }
        wake();
    }
    // Whether the server answered a request while held, within `limit`.
    bool answeredWhileHeld(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return replies_ > 0; });
    }

private:
    void wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = write(wake_.get(), &one, sizeof one);
    }

    void relay(const std::stop_token& stop) {
        std::vector<std::uint8_t> kept;
        std::size_t parsed = 0;
        std::array<std::uint8_t, 4096> buffer{};
        while (!stop.stop_requested()) {
            std::array<pollfd, 3> ready{
                {{client_.get(), POLLIN, 0}, {server_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}}};
            if (poll(ready.data(), ready.size(), -1) < 0) {
                return;
            }
            if (ready[2].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] const auto taken = read(wake_.get(), &count, sizeof count);
            }
            if (ready[0].revents & (POLLIN | POLLHUP)) {
                const ssize_t got = read(client_.get(), buffer.data(), buffer.size());
                if (got <= 0 || !sendAll(server_.get(), buffer.data(), std::size_t(got))) {
                    return;
                }
            }
            const std::scoped_lock lock(mutex_);
            if (ready[1].revents & (POLLIN | POLLHUP)) {
                const ssize_t got = read(server_.get(), buffer.data(), buffer.size());
                if (got <= 0) {
                    return;
                }
                kept.insert(kept.end(), buffer.begin(), buffer.begin() + got);
            }
            if (held_) {
                // Each message is 32 bytes, a reply (1) and a generic event (35) more.
                while (kept.size() >= parsed + 32) {
                    const std::uint8_t type = kept[parsed] & 0x7f;
                    std::uint32_t extra = 0;
                    if (type == 1 || type == 35) {
                        std::memcpy(&extra, &kept[parsed + 4], sizeof extra);
                    }
                    const std::size_t end = parsed + 32 + 4 * std::size_t(extra);
                    if (type == 1 && letThrough_ > 0 && kept.size() >= end) {
                        --letThrough_;
                        if (!sendAll(client_.get(), kept.data(), end)) {
                            return;
                        }
                        kept.erase(kept.begin(), kept.begin() + std::ptrdiff_t(end));
                        parsed = 0;
                        continue;
                    }
                    replies_ += type == 1;
                    parsed = end;
                }
                changed_.notify_all();
            } else if (!kept.empty()) {
                if (!sendAll(client_.get(), kept.data(), kept.size())) {
                    return;
                }
                kept.clear();
                parsed = 0;
            }
        }
    }

    static bool sendAll(int fd, const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t sent = write(fd, data, size);
            if (sent <= 0) {
                return false;
            }
            data += sent;
            size -= std::size_t(sent);
        }
        return true;
    }

    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection_;
    FileDescriptor server_;
    FileDescriptor client_;
    FileDescriptor wake_{eventfd(0, EFD_CLOEXEC)};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int letThrough_ = 0;
    int replies_ = 0;
    std::jthread relay_;
};

// A key that types nothing on the display.
std::uint8_t unusedKey(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    const auto mapping = keyboardMapping(connection);
    if (!mapping || mapping->keysyms_per_keycode == 0) {
        return 0;
    }
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
    for (int key = count - 1; key >= 0; --key) {
        const xcb_keysym_t* first = symbols + key * mapping->keysyms_per_keycode;
        if (std::all_of(first, first + mapping->keysyms_per_keycode,
                        [](xcb_keysym_t symbol) { return symbol == 0; })) {
            return std::uint8_t(setup->min_keycode + key);
        }
    }
    return 0;
}

// Whether another client gets an answer from the display within `limit`.
bool answers(xcb_connection_t* other, std::chrono::milliseconds limit) {
    const xcb_get_input_focus_cookie_t asked = xcb_get_input_focus(other);
    xcb_flush(other);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!xcb_connection_has_error(other)) {
        void* reply = nullptr;
        if (xcb_poll_for_reply(other, asked.sequence, &reply, nullptr)) {
            std::free(reply);
            return reply != nullptr;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{xcb_get_file_descriptor(other), POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, int(left.count())) == 0) {
            return false;
        }
    }
    return false;
}

// The Alt key down, as another client of the display reads the keyboard; 0 when none is.
std::uint8_t downAlt(xcb_connection_t* other) {
    const auto mapping = keyboardMapping(other);
    const ReplyPointer<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(other, xcb_query_keymap(other), nullptr), &std::free);
    if (!mapping || !keymap || mapping->keysyms_per_keycode == 0) {
        return 0;
    }
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    for (int i = 0; i < length; ++i) {
        const int key = xcb_get_setup(other)->min_keycode + i / mapping->keysyms_per_keycode;
        if ((symbols[i] == 0xffe9 || symbols[i] == 0xffea) &&
            (keymap->keys[key / 8] >> (key % 8)) & 1) {
            return std::uint8_t(key);
        }
    }
    return 0;
}

bool altDown(xcb_connection_t* other) {
    return downAlt(other) != 0;
}

// The processes whose parent is `parent`, as /proc lists them now.
std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    std::error_code failed;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", failed)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // "pid (name) state ppid ...", where the name may hold anything up to its last ')'.
        const std::size_t nameEnd = line.rfind(')');
        std::istringstream rest(nameEnd == std::string::npos ? "" : line.substr(nameEnd + 1));
        char state = 0;
        pid_t parentId = 0;
        if (rest >> state >> parentId && parentId == parent) {
            children.push_back(pid_t(std::stol(entry.path().filename().string())));
        }
    }
    return children;
}

// Returns once the display has handled every request sent on the connection.
void handled(xcb_connection_t* connection) {
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

void focus(xcb_connection_t* connection, const QWindow& window) {
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, xcb_window_t(window.winId()),
                        XCB_CURRENT_TIME);
    xcb_flush(connection);
}

// Shows the window and gives it the keyboard's focus, as a window manager would.
::testing::AssertionResult showFocused(xcb_connection_t* connection, QWindow& window) {
    window.resize(100, 100);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return ::testing::AssertionFailure() << "the window never showed";
    }
    focus(connection, window);
    if (!test::DesktopUser::waitFor([&] { return QGuiApplication::focusWindow() == &window; })) {
        return ::testing::AssertionFailure() << "the window never had the focus";
    }
    return ::testing::AssertionSuccess();
}

constexpr DesktopChord altChord{ChordModifier::alt, false};

TEST(DesktopKeyboardTest, AHandOnStoppedWhileItWaitsForTheServerHoldsNoOtherClient) {
    HeldConnection connection;
    ASSERT_NE(connection.get(), nullptr) << "no relayed connection to the test display";
    const std::uint8_t key = unusedKey(connection.get());
    ASSERT_NE(key, 0) << "every key of the display types something";
    QWindow window;
    window.resize(100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    DesktopKeyboard keyboard(connection.get());
    keyboard.watch(&window);
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> other(
        xcb_connect(nullptr, nullptr), &xcb_disconnect);

    // Stopped as it reads the keys held, then as the game's grab is taken again after the chord.
    for (const int letThrough : {0, 1}) {
        SCOPED_TRACE(letThrough);
        ASSERT_TRUE(keyboard.grab(window));
        // Every answer due has come: the next one is the hand-on's.
        xcb_get_extension_data(connection.get(), &xcb_test_id);
        handled(connection.get());
        connection.hold(letThrough);
        bool othersAnswered = false;
        std::jthread asking([&] {
            const std::chrono::milliseconds patience{test::DesktopUser::patience};
            othersAnswered =
                connection.answeredWhileHeld(patience) && answers(other.get(), patience);
            connection.letGo();
        });
        // Returns once the relay lets the answers through.
        keyboard.handOn(key, {});
        asking.join();
        EXPECT_TRUE(othersAnswered) << "the display waited for the app while it was stopped";
    }
    keyboard.watch(nullptr);
}

// The first key that types the symbol.
std::uint8_t keyOf(xcb_connection_t* connection, xcb_keysym_t symbol) {
    const auto mapping = keyboardMapping(connection);
    if (!mapping || mapping->keysyms_per_keycode == 0) {
        return 0;
    }
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    const auto found = std::find(symbols, symbols + length, symbol);
    return found == symbols + length
               ? 0
               : std::uint8_t(xcb_get_setup(connection)->min_keycode +
                              (found - symbols) / mapping->keysyms_per_keycode);
}

// The desktop binds Super+key as a window manager does. After the app has read the keyboard for
// the chord and before the server is held for it, the user lets go of the Super held for it, or
// presses Super for the next chord.
TEST(DesktopKeyboardTest, ASuperLetGoOrPressedAsTheChordIsHandedOnLeavesBothChordsWhole) {
    HeldConnection connection;
    ASSERT_NE(connection.get(), nullptr) << "no relayed connection to the test display";
    const Connection desktop(xcb_connect(nullptr, nullptr), &xcb_disconnect);
    const std::uint8_t key = unusedKey(desktop.get());
    const std::uint8_t super = keyOf(desktop.get(), 0xffeb);
    ASSERT_NE(key, 0) << "every key of the display types something";
    ASSERT_NE(super, 0) << "no Super key on the display";
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(desktop.get())).data->root;
    xcb_grab_key(desktop.get(), 1, root, XCB_MOD_MASK_4, key, XCB_GRAB_MODE_ASYNC,
                 XCB_GRAB_MODE_ASYNC);
    QWindow window;
    ASSERT_TRUE(showFocused(desktop.get(), window));
    DesktopKeyboard keyboard(connection.get());
    keyboard.watch(&window);
    const auto superKey = [&](std::uint8_t type) {
        xcb_test_fake_input(desktop.get(), type, super, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        handled(desktop.get());
    };
    const auto tookIt = [&] {
        while (const ReplyPointer<xcb_generic_event_t> event{xcb_poll_for_event(desktop.get()),
                                                             &std::free}) {
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS &&
                reinterpret_cast<const xcb_key_press_event_t*>(event.get())->detail == key) {
                return true;
            }
        }
        return false;
    };
    for (const bool heldBefore : {true, false}) {
        SCOPED_TRACE(heldBefore ? "Super let go" : "Super pressed");
        if (heldBefore) {
            superKey(XCB_KEY_PRESS);
        }
        xcb_get_extension_data(connection.get(), &xcb_test_id);
        handled(connection.get());
        connection.hold();
        std::jthread user([&] {
            connection.answeredWhileHeld(std::chrono::milliseconds(test::DesktopUser::patience));
            superKey(heldBefore ? XCB_KEY_RELEASE : XCB_KEY_PRESS);
            connection.letGo();
        });
        keyboard.handOn(key, {ChordModifier::super, false});
        user.join();
        EXPECT_TRUE(test::DesktopUser::waitFor(tookIt))
            << "the chord reached the desktop without Super";
        const ReplyPointer<xcb_query_keymap_reply_t> keymap(
            xcb_query_keymap_reply(desktop.get(), xcb_query_keymap(desktop.get()), nullptr),
            &std::free);
        ASSERT_TRUE(keymap);
        EXPECT_EQ((keymap->keys[super / 8] >> (super % 8)) & 1, heldBefore ? 0 : 1)
            << "the hand-on let go of the user's Super";
        superKey(XCB_KEY_RELEASE);
    }
    keyboard.watch(nullptr);
}

// A busy app hands a chord on after the user pressed Super again: the next chord's key is still
// the app's, as the Super's grab made it, and the keyboard is free again once that Super is up.
TEST(DesktopKeyboardTest, ASuperPressedAgainBeforeTheHandOnKeepsTheNextChordTheApps) {
    xcb_connection_t* app = x11Connection();
    ASSERT_NE(app, nullptr) << "not on X11";
    const Connection desktop(xcb_connect(nullptr, nullptr), &xcb_disconnect);
    const std::uint8_t key = unusedKey(desktop.get());
    const std::uint8_t super = keyOf(desktop.get(), 0xffeb);
    const std::uint8_t e = keyOf(desktop.get(), 0x65);
    ASSERT_NE(key, 0) << "every key of the display types something";
    ASSERT_NE(super, 0) << "no Super key on the display";
    ASSERT_NE(e, 0) << "no E key on the display";
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(desktop.get())).data->root;
    // The desktop's own Super+E, as openbox's file manager.
    xcb_grab_key(desktop.get(), 1, root, XCB_MOD_MASK_4, e, XCB_GRAB_MODE_ASYNC,
                 XCB_GRAB_MODE_ASYNC);
    struct Window : QWindow {
        std::uint8_t e = 0;
        int es = 0;
        void keyPressEvent(QKeyEvent* event) override { es += event->nativeScanCode() == e; }
    } window;
    window.e = e;
    ASSERT_TRUE(showFocused(desktop.get(), window));
    // Another client's window, focused by itself, not by where the pointer is.
    const xcb_window_t chat = xcb_generate_id(desktop.get());
    xcb_create_window(desktop.get(), XCB_COPY_FROM_PARENT, chat, root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_map_window(desktop.get(), chat);
    DesktopKeyboard keyboard(app, "/nonexistent/vantorel-keys");
    keyboard.watch(&window);
    handled(app);
    const auto fakeKey = [&](std::uint8_t type, std::uint8_t keycode) {
        xcb_test_fake_input(desktop.get(), type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        handled(desktop.get());
    };
    const auto desktopTookE = [&] {
        bool took = false;
        while (const ReplyPointer<xcb_generic_event_t> event{xcb_poll_for_event(desktop.get()),
                                                             &std::free}) {
            took =
                took || ((event->response_type & 0x7f) == XCB_KEY_PRESS &&
                         reinterpret_cast<const xcb_key_press_event_t*>(event.get())->detail == e);
        }
        return took;
    };
    // Super pressed again, not, and pressed again with another window in front.
    for (const int then : {0, 1, 2}) {
        const bool again = then != 1;
        fakeKey(XCB_KEY_PRESS, super);
        fakeKey(XCB_KEY_PRESS, key);
        fakeKey(XCB_KEY_RELEASE, key);
        fakeKey(XCB_KEY_RELEASE, super);
        if (then == 2) {
            xcb_set_input_focus(desktop.get(), XCB_INPUT_FOCUS_POINTER_ROOT, chat,
                                XCB_CURRENT_TIME);
        }
        if (again) {
            fakeKey(XCB_KEY_PRESS, super);
        }
        keyboard.handOn(key, {ChordModifier::super, false});
        handled(app);
        desktopTookE();
        if (again) {
            fakeKey(XCB_KEY_PRESS, e);
            fakeKey(XCB_KEY_RELEASE, e);
            fakeKey(XCB_KEY_RELEASE, super);
            EXPECT_TRUE(then == 2 ? test::DesktopUser::waitFor(desktopTookE)
                                  : test::DesktopUser::waitFor([&] { return window.es == 1; }))
                << then;
            EXPECT_EQ(window.es, 1) << then;
        }
        // Free for another client: the Super is up.
        EXPECT_TRUE(test::DesktopUser::waitFor([&] {
            const ReplyPointer<xcb_grab_keyboard_reply_t> reply(
                xcb_grab_keyboard_reply(desktop.get(),
                                        xcb_grab_keyboard(desktop.get(), 0, root, XCB_CURRENT_TIME,
                                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                        nullptr),
                &std::free);
            xcb_ungrab_keyboard(desktop.get(), XCB_CURRENT_TIME);
            return reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        })) << "the keyboard stayed the app's: "
            << then;
    }
    keyboard.watch(nullptr);
}

TEST(DesktopKeyboardTest, AKeptAltGoesUpOnceTheWindowLosesTheKeyboardOrTheFocusOrAtTheLimit) {
    xcb_connection_t* app = x11Connection();
    ASSERT_NE(app, nullptr) << "not on X11";
    const Connection other(xcb_connect(nullptr, nullptr), &xcb_disconnect);
    const std::uint8_t key = unusedKey(other.get());
    ASSERT_NE(key, 0) << "every key of the display types something";
    QWindow window;
    QWindow elsewhere;
    for (QWindow* shown : {&window, &elsewhere}) {
        shown->resize(100, 100);
        shown->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other.get())).data->root;
    struct Case {
        const char* what;
        std::chrono::milliseconds limit;
        // Takes the keyboard from the window, and gives it back.
        std::function<void()> take;
        std::function<void()> giveBack;
    };
    const std::array cases{
        Case{"a switcher grabs the keyboard", 1h,
             [&] {
                 std::free(xcb_grab_keyboard_reply(
                     other.get(),
                     xcb_grab_keyboard(other.get(), 1, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                       XCB_GRAB_MODE_ASYNC),
                     nullptr));
             },
             [&] {
                 xcb_ungrab_keyboard(other.get(), XCB_CURRENT_TIME);
                 xcb_flush(other.get());
             }},
        Case{"the focus moves to another window", 1h, [&] { focus(other.get(), elsewhere); },
             [] {}},
        Case{"nothing takes the keyboard", 0ms, [] {}, [] {}},
    };
    const auto fakeKey = [&](std::uint8_t type, std::uint8_t keycode) {
        xcb_test_fake_input(other.get(), type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        handled(other.get());
    };
    for (const Case& taken : cases) {
        SCOPED_TRACE(taken.what);
        ASSERT_FALSE(altDown(other.get())) << "Alt is down already";
        focus(other.get(), window);
        ASSERT_TRUE(
            test::DesktopUser::waitFor([&] { return QGuiApplication::focusWindow() == &window; }));
        auto keyboard = std::make_unique<DesktopKeyboard>(app, QM_KEY_WATCHER,
                                                          KeepLimits{.watched = taken.limit});
        keyboard->watch(&window);
        keyboard->handOn(key, altChord);
        handled(app);
        const std::uint8_t alt = downAlt(other.get());
        ASSERT_NE(alt, 0) << "the hand-on pressed no Alt";
        if (taken.limit > 0ms) {
            // The chord's own keys have come back.
            QCoreApplication::processEvents();
            handled(app);
            EXPECT_TRUE(altDown(other.get())) << "Alt went up with the window's keyboard";
        }
        taken.take();
        EXPECT_TRUE(test::DesktopUser::waitFor([&] { return !altDown(other.get()); }));
        taken.giveBack();
        // The person holds that Alt as the app ends: its watcher guards it no longer.
        fakeKey(XCB_KEY_PRESS, alt);
        keyboard.reset();
        EXPECT_EQ(downAlt(other.get()), alt) << "the watcher let go of the person's Alt";
        fakeKey(XCB_KEY_RELEASE, alt);
    }
}

// Without a watcher a key kept would outlive an app killed meanwhile: the chord's Alt goes up
// with it.
TEST(DesktopKeyboardTest, WithoutAWatcherAnAltChordKeepsNoAlt) {
    xcb_connection_t* app = x11Connection();
    ASSERT_NE(app, nullptr) << "not on X11";
    const Connection desktop(xcb_connect(nullptr, nullptr), &xcb_disconnect);
    const std::uint8_t key = unusedKey(desktop.get());
    ASSERT_NE(key, 0) << "every key of the display types something";
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(desktop.get())).data->root;
    xcb_grab_key(desktop.get(), 1, root, XCB_MOD_MASK_1, key, XCB_GRAB_MODE_ASYNC,
                 XCB_GRAB_MODE_ASYNC);
    handled(desktop.get());
    QWindow window;
    window.resize(100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    DesktopKeyboard keyboard(app, "/nonexistent/vantorel-keys");
    keyboard.watch(&window);
    keyboard.handOn(key, altChord);
    handled(app);
    EXPECT_FALSE(altDown(desktop.get())) << "Alt kept";
    EXPECT_TRUE(test::DesktopUser::waitFor([&] {
        const ReplyPointer<xcb_generic_event_t> event{xcb_poll_for_event(desktop.get()),
                                                      &std::free};
        return event && (event->response_type & 0x7f) == XCB_KEY_PRESS &&
               reinterpret_cast<const xcb_key_press_event_t*>(event.get())->detail == key;
    })) << "the chord reached the desktop without Alt";
    keyboard.watch(nullptr);
}

// The end of a hand-on that comes back once its window is no longer watched is still the app's
// own: Qt printed a warning of a message it did not know.
TEST(DesktopKeyboardTest, AHandOnEndedAfterTheWatchIsTakenQuietly) {
    xcb_connection_t* app = x11Connection();
    ASSERT_NE(app, nullptr) << "not on X11";
    const std::uint8_t key = unusedKey(app);
    ASSERT_NE(key, 0) << "every key of the display types something";
    QWindow window;
    window.resize(100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // Filters run newest first: this one sees what the keyboard's left.
    struct Marks : QAbstractNativeEventFilter {
        xcb_atom_t mark = 0;
        bool marked = false;
        bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
            const auto* event = static_cast<const xcb_client_message_event_t*>(message);
            if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) {
                return false;
            }
            marked = marked || event->type == mark;
            return event->type == mark;
        }
    } marks;
    marks.mark = atomOf(app, "_VANTOREL_TEST_MARK");
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
    QCoreApplication::instance()->installNativeEventFilter(&marks);
    {
        DesktopKeyboard keyboard(app, "/nonexistent/vantorel-keys");
        keyboard.watch(&window);
        keyboard.handOn(key, altChord);
        keyboard.watch(nullptr);
        // After the hand-on's end, a mark of the test's own.
        xcb_client_message_event_t mark{};
        mark.response_type = XCB_CLIENT_MESSAGE;
        mark.format = 32;
        mark.window = xcb_window_t(window.winId());
        mark.type = marks.mark;
        xcb_send_event(app, 0, mark.window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&mark));
        xcb_flush(app);
        EXPECT_TRUE(test::DesktopUser::waitFor([&] { return marks.marked; }));
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings.filter("client message").join('\n'), "");
}

// The app of the test below, in a process of its own: it keeps Alt down for the desktop until
// it is ended, and once more after Alt went up, as the test writes to it.
TEST(DesktopKeyboardChild, DISABLED_KeepsAltForTheDesktop) {
    xcb_connection_t* app = x11Connection();
    ASSERT_NE(app, nullptr) << "not on X11";
    QWindow window;
    window.resize(100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    DesktopKeyboard keyboard(app, QM_KEY_WATCHER, {.watched = 1h});
    keyboard.watch(&window);
    keyboard.handOn(unusedKey(app), altChord);
    while (altDown(app)) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    char next = 0;
    ASSERT_EQ(read(STDIN_FILENO, &next, 1), 1);
    keyboard.handOn(unusedKey(app), altChord);
    while (true) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

TEST(DesktopKeyboardTest, AKeyKeptForTheDesktopGoesUpWhenTheAppIsKilledOrStopped) {
    const Connection other(xcb_connect(nullptr, nullptr), &xcb_disconnect);
    ASSERT_FALSE(xcb_connection_has_error(other.get()));
    // The watcher, left without its app, becomes this process's child.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    struct Case {
        int signal;
        bool watcherKilledFirst;
    };
    for (const auto [signal, watcherKilledFirst] :
         {Case{SIGKILL, false}, Case{SIGSTOP, false}, Case{SIGKILL, true}}) {
        SCOPED_TRACE(strsignal(signal));
        SCOPED_TRACE(watcherKilledFirst ? "its watcher killed first" : "");
        ASSERT_FALSE(altDown(other.get()));
        std::string self = QCoreApplication::applicationFilePath().toStdString();
        std::string filter = "--gtest_filter=DesktopKeyboardChild.DISABLED_KeepsAltForTheDesktop";
        std::string disabled = "--gtest_also_run_disabled_tests";
        std::array<char*, 4> argv{self.data(), filter.data(), disabled.data(), nullptr};
        std::array<int, 2> pipeEnds{};
        ASSERT_EQ(pipe2(pipeEnds.data(), O_CLOEXEC), 0);
        const FileDescriptor toRead(pipeEnds[0]);
        const FileDescriptor toWrite(pipeEnds[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toRead.get(), STDIN_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, self.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        const bool kept = test::DesktopUser::waitFor([&] { return altDown(other.get()); });
        EXPECT_TRUE(kept) << "the app pressed no Alt";
        if (watcherKilledFirst) {
            const std::vector<pid_t> watcher = childrenOf(child);
            ASSERT_EQ(watcher.size(), 1u) << "the app has no watcher";
            kill(watcher.front(), SIGKILL);
            EXPECT_TRUE(test::DesktopUser::waitFor([&] { return !altDown(other.get()); }))
                << "the app kept Alt without a watcher";
            EXPECT_EQ(write(toWrite.get(), "!", 1), 1);
            EXPECT_TRUE(test::DesktopUser::waitFor([&] { return altDown(other.get()); }))
                << "the app kept no Alt for its next chord";
        }
        kill(child, signal);
        EXPECT_TRUE(test::DesktopUser::waitFor([&] { return !altDown(other.get()); }))
            << "Alt stayed down";
        kill(child, SIGKILL);
        ASSERT_EQ(waitpid(child, nullptr, 0), child);
        EXPECT_TRUE(test::DesktopUser::waitFor([] { return waitpid(-1, nullptr, WNOHANG) > 0; }))
            << "the watcher outlived the app";
    }
}

// The watcher asks while it guards a key, and lets go of it unless the app answers at once: the
// app answers every question, and hears when the watcher ended. This watcher only holds its end,
// which the test takes over to play it.
TEST(KeyWatcherTest, AnswersEveryPingAndHearsOfAWatcherThatTakesNoMore) {
    QTemporaryDir folder;
    QFile program(folder.filePath("vantorel-keys"));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\nexec sleep infinity\n");
    program.close();
    ASSERT_TRUE(program.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    std::atomic<bool> ended = false;
    KeyWatcher watcher(program.fileName().toStdString(), [&] { ended = true; });
    const std::vector<pid_t> started = childrenOf(getpid());
    ASSERT_EQ(started.size(), 1u);
    const FileDescriptor process(int(syscall(SYS_pidfd_open, started.front(), 0)));
    const FileDescriptor end(int(syscall(SYS_pidfd_getfd, process.get(), keywatcher::socketFd, 0)));
    ASSERT_TRUE(end) << std::strerror(errno);
    const auto next = [&] {
        keywatcher::Packet packet{keywatcher::Kind::ping, 0};
        pollfd ready{end.get(), POLLIN, 0};
        if (poll(&ready, 1, test::DesktopUser::patience) != 1 ||
            recv(end.get(), &packet, sizeof packet, 0) != sizeof packet) {
            ADD_FAILURE() << "the app said nothing";
        }
        return std::pair(packet.kind, packet.keycode);
    };

    watcher.guard(42);
    EXPECT_EQ(next(), std::pair(keywatcher::Kind::guard, std::uint8_t(42)));
    for (int asked = 0; asked < 3; ++asked) {
        const keywatcher::Packet ping{keywatcher::Kind::ping, 0};
        ASSERT_EQ(send(end.get(), &ping, sizeof ping, 0), ssize_t(sizeof ping));
        ASSERT_EQ(next().first, keywatcher::Kind::answer);
    }
    // Stuck, it would let go of nothing: taken for ended once its end is full.
    for (int told = 0; told < 100'000 && !ended; ++told) {
        watcher.guard(42);
    }
    EXPECT_TRUE(test::DesktopUser::waitFor([&] { return ended.load(); }));
    EXPECT_FALSE(watcher.guarding());
    kill(started.front(), SIGKILL);
}

}  // namespace
}  // namespace qm
