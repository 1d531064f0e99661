#include "PrivateDisplay.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "QuillmereCore/FileDescriptor.h"
#include "XcbReplies.h"

namespace qm::test {

namespace {

using namespace std::chrono_literals;

// Generous: the machine may be busy with builds and sanitizers.
constexpr auto startLimit = 60s;

// Openbox's own configuration, as a user has it before changing anything: its key and mouse
// bindings are the ones the application must live with.
constexpr const char* managerConfig = "/etc/xdg/openbox/rc.xml";
// Its file manager's command, for the mark in its place.
constexpr const char* fileManager = "<command>kfmclient openProfile filemanagement</command>";
constexpr const char* superE = "<keybind key=\"W-e\">";
constexpr const char* altTab = "<keybind key=\"A-Tab\">";
constexpr const char* altShiftTab = "<keybind key=\"A-S-Tab\">";
// The class of the window openbox's switcher shows once it holds the keyboard.
constexpr std::string_view switcherClass = "OPENBOX_FOCUS_CYCLE_POPUP";

using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;

// A connection of its own to the display DISPLAY names.
Connection connectToDisplay() {
    int screenNumber = 0;
    return Connection(xcb_connect(nullptr, &screenNumber), &xcb_disconnect);
}

// A mark file's name.
QString markOf(const QString& chord) {
    return chord.toLower().replace('+', '-');
}

// Starts a program with its output thrown away; -1 when it cannot. It ends as the thread that
// started it ends, however that ends: a test killed takes its display with it.
pid_t spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    // Only calls safe in a child of a process with threads, until the program replaces it.
    // Asked to end, the server takes its lock and socket away.
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) {
        _exit(127);
    }
    const int nowhere = open("/dev/null", O_WRONLY);
    if (nowhere < 0 || dup2(nowhere, STDOUT_FILENO) < 0 || dup2(nowhere, STDERR_FILENO) < 0) {
        _exit(127);
    }
    execvp(argv[0], argv.data());
    _exit(127);
}

void stop(pid_t& pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

bool exited(pid_t pid) {
    return waitpid(pid, nullptr, WNOHANG) == pid;
}

// The first key the server has for the Shift modifier; 0 when none.
xcb_keycode_t shiftKey(xcb_connection_t* connection) {
    const ReplyPointer<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr),
        &std::free);
    return mapping && mapping->keycodes_per_modifier > 0
               ? xcb_get_modifier_mapping_keycodes(mapping.get())[0]
               : 0;
}

}  // namespace

PrivateDisplay::~PrivateDisplay() {
    stop(manager_);
    stop(server_);
    if (hadDisplay_) {
        qputenv("DISPLAY", previousDisplay_);
    } else {
        qunsetenv("DISPLAY");
    }
}

::testing::AssertionResult PrivateDisplay::start(QSize screen) {
    hadDisplay_ = qEnvironmentVariableIsSet("DISPLAY");
    previousDisplay_ = qgetenv("DISPLAY");
    if (auto written = writeManagerConfig(); !written) {
        return written;
    }
    if (auto started = startServer(screen); !started) {
        return started;
    }
    return startManager();
}

bool PrivateDisplay::windowManagerTook(const QString& chord, int times) {
    QFile marks(files_.filePath(markOf(chord)));
    return marks.open(QIODevice::ReadOnly) && marks.readAll().count('\n') >= times &&
           marks.remove();
}

namespace {

// Whether another client can grab the root as `grab` asks; it lets go before this returns.
template <typename Grab, typename Ungrab>
bool anotherClientGrabs(Grab grab, Ungrab ungrab) {
    const Connection connection = connectToDisplay();
    if (xcb_connection_has_error(connection.get())) {
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data->root;
    const bool taken = grab(connection.get(), root);
    ungrab(connection.get(), XCB_CURRENT_TIME);
    // Let go before the application asks again.
    std::free(xcb_get_input_focus_reply(connection.get(), xcb_get_input_focus(connection.get()),
                                        nullptr));
    return taken;
}

}  // namespace

bool PrivateDisplay::keyboardFree() const {
    return anotherClientGrabs(
        [](xcb_connection_t* c, xcb_window_t root) {
            const ReplyPointer<xcb_grab_keyboard_reply_t> grab(
                xcb_grab_keyboard_reply(c,
                                        xcb_grab_keyboard(c, 0, root, XCB_CURRENT_TIME,
                                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                        nullptr),
                &std::free);
            return grab && grab->status == XCB_GRAB_STATUS_SUCCESS;
        },
        xcb_ungrab_keyboard);
}

bool PrivateDisplay::pointerFree() const {
    return anotherClientGrabs(
        [](xcb_connection_t* c, xcb_window_t root) {
            const ReplyPointer<xcb_grab_pointer_reply_t> grab(
                xcb_grab_pointer_reply(
                    c,
                    xcb_grab_pointer(c, 0, root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                     XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
                    nullptr),
                &std::free);
            return grab && grab->status == XCB_GRAB_STATUS_SUCCESS;
        },
        xcb_ungrab_pointer);
}

bool PrivateDisplay::switcherShown() const {
    const Connection connection = connectToDisplay();
    if (xcb_connection_has_error(connection.get())) {
        return false;
    }
    xcb_connection_t* c = connection.get();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const ReplyPointer<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr), &std::free);
    if (!tree) {
        return false;
    }
    const std::span<const xcb_window_t> windows(
        xcb_query_tree_children(tree.get()),
        std::size_t(xcb_query_tree_children_length(tree.get())));
    std::vector<std::pair<xcb_get_window_attributes_cookie_t, xcb_get_property_cookie_t>> asked;
    for (const xcb_window_t window : windows) {
        asked.emplace_back(xcb_get_window_attributes(c, window),
                           xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0,
                                            switcherClass.size()));
    }
    bool shown = false;
    for (const auto& [attributes, name] : asked) {
        const ReplyPointer<xcb_get_window_attributes_reply_t> state(
            xcb_get_window_attributes_reply(c, attributes, nullptr), &std::free);
        const ReplyPointer<xcb_get_property_reply_t> property(
            xcb_get_property_reply(c, name, nullptr), &std::free);
        const std::string_view value =
            property
                ? std::string_view(static_cast<const char*>(xcb_get_property_value(property.get())),
                                   std::size_t(xcb_get_property_value_length(property.get())))
                : std::string_view();
        shown = shown || (state && state->map_state == XCB_MAP_STATE_VIEWABLE &&
                          value.starts_with(switcherClass));
    }
    return shown;
}

::testing::AssertionResult PrivateDisplay::writeManagerConfig() {
    QFile original(managerConfig);
    if (!original.open(QIODevice::ReadOnly)) {
        return ::testing::AssertionFailure()
               << managerConfig << " is missing: install openbox (scripts/install-deps)";
    }
    QString config = QString::fromUtf8(original.readAll());
    const auto marking = [&](const char* chord) {
        return QStringLiteral("<command>sh -c 'echo >> %1'</command>")
            .arg(files_.filePath(markOf(chord)));
    };
    if (!files_.isValid() || !config.contains(fileManager) || !config.contains(superE)) {
        return ::testing::AssertionFailure() << managerConfig << " has no Super+E to mark";
    }
    // A switcher's binding is marked as the switcher ends, the person's Alt let go: an action
    // run before it in the binding would end a switcher already running at a second Alt+Tab and
    // start another, which never sees an Alt let go in between.
    const auto markAtEnd = [&](const char* binding, const char* chord) {
        const qsizetype bound = config.indexOf(binding);
        const qsizetype end = config.indexOf("</finalactions>", bound);
        if (bound < 0 || end < 0 || end > config.indexOf("</keybind>", bound)) {
            return false;
        }
        config.insert(end,
                      QStringLiteral("<action name=\"Execute\">%1</action>").arg(marking(chord)));
        return true;
    };
    if (!markAtEnd(altTab, "Alt+Tab") || !markAtEnd(altShiftTab, "Alt+Shift+Tab")) {
        return ::testing::AssertionFailure()
               << managerConfig << " has no Alt+Tab or Alt+Shift+Tab switcher to mark";
    }
    config.replace(fileManager, marking("Super+E"));
    config.replace(superE, QStringLiteral("<keybind key=\"W-l\"><action name=\"Execute\">%1"
                                          "</action></keybind>%2")
                               .arg(marking("Super+L"), superE));
    QFile written(files_.filePath("rc.xml"));
    if (!written.open(QIODevice::WriteOnly) || written.write(config.toUtf8()) < 0 ||
        !written.flush()) {
        return ::testing::AssertionFailure() << "cannot write openbox's configuration";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PrivateDisplay::startServer(QSize screen) {
    // Xvfb picks a free display and writes its number to the descriptor it is given.
    std::array<int, 2> pipe{};
    if (::pipe(pipe.data()) != 0) {
        return ::testing::AssertionFailure() << "no pipe for Xvfb: " << std::strerror(errno);
    }
    fcntl(pipe[0], F_SETFD, FD_CLOEXEC);
    server_ = spawn({"Xvfb", "-displayfd", std::to_string(pipe[1]), "-screen", "0",
                     std::to_string(screen.width()) + "x" + std::to_string(screen.height()) + "x24",
                     "-nolisten", "tcp", "-noreset"});
    close(pipe[1]);
    std::string number;
    pollfd ready{pipe[0], POLLIN, 0};
    char byte = 0;
    while (poll(&ready, 1, int(std::chrono::milliseconds(startLimit).count())) > 0 &&
           read(pipe[0], &byte, 1) == 1 && byte != '\n') {
        number += byte;
    }
    close(pipe[0]);
    if (server_ < 0 || number.empty()) {
        return ::testing::AssertionFailure() << "Xvfb gave no display";
    }
    qputenv("DISPLAY", QByteArray(":") + number.c_str());
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PrivateDisplay::startManager() {
    const Connection owned = connectToDisplay();
    xcb_connection_t* connection = owned.get();
    if (xcb_connection_has_error(connection)) {
        return ::testing::AssertionFailure() << "cannot connect to the private display";
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    // Property changes of the root window and of the probe below wake the waits.
    const std::uint32_t propertyChanges = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &propertyChanges);
    xcb_flush(connection);
    manager_ = spawn(
        {"openbox", "--sm-disable", "--config-file", files_.filePath("rc.xml").toStdString()});
    if (manager_ < 0) {
        return ::testing::AssertionFailure() << "openbox did not start";
    }
    const FileDescriptor process(int(syscall(SYS_pidfd_open, manager_, 0)));
    const auto deadline = std::chrono::steady_clock::now() + startLimit;
    // Waits on the display's events (property changes) until the condition holds, doing `again`
    // whenever a tenth of a second passes without one.
    const auto waitUntil = [&](auto holds, const char* what,
                               auto again) -> ::testing::AssertionResult {
        // Events the last check's replies brought along are already read: they count as a
        // wake-up.
        const auto drain = [connection](auto next) {
            bool any = false;
            while (const ReplyPointer<xcb_generic_event_t> event{next(connection), &std::free}) {
                any = true;
            }
            return any;
        };
        while (!holds()) {
            if (drain(xcb_poll_for_queued_event)) {
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return ::testing::AssertionFailure() << "openbox did not " << what;
            }
            std::array<pollfd, 2> ready{
                {{xcb_get_file_descriptor(connection), POLLIN, 0}, {process.get(), POLLIN, 0}}};
            if (poll(ready.data(), ready.size(), int(std::min(left, 100ms).count())) == 0) {
                again();
                continue;
            }
            if ((ready[1].revents & POLLIN) && exited(manager_)) {
                manager_ = -1;
                return ::testing::AssertionFailure() << "openbox ended at its start";
            }
            drain(xcb_poll_for_event);
        }
        return ::testing::AssertionSuccess();
    };
    // The manager announces itself in a property of the root window.
    if (auto announced = waitUntil(
            [&, check = atomOf(connection, "_NET_SUPPORTING_WM_CHECK")] {
                return hasProperty(connection, root, check);
            },
            "take the screen", [] {});
        !announced) {
        return announced;
    }

    // At the first key from the XTest device the server gives the core keyboard that device's
    // keymap, and openbox takes its key bindings off and on again: a chord pressed meanwhile
    // (Alt+F4) would reach the application instead. So the first key is pressed here, and the
    // wait is for openbox to answer a request sent after it.
    const xcb_keycode_t shift = shiftKey(connection);
    xcb_test_fake_input(connection, XCB_KEY_PRESS, shift, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(connection, XCB_KEY_RELEASE, shift, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    const xcb_window_t probe = makeProbe(connection, root);
    // Sent again until answered: openbox drops what comes while it is still starting.
    const auto ask = [&, request = atomOf(connection, "_NET_REQUEST_FRAME_EXTENTS")] {
        askFrameExtents(connection, root, probe, request);
    };
    ask();
    auto answered = waitUntil(
        [&, extents = atomOf(connection, "_NET_FRAME_EXTENTS")] {
            return hasProperty(connection, probe, extents);
        },
        "answer after the first key", ask);
    xcb_destroy_window(connection, probe);
    xcb_flush(connection);
    return answered;
}

struct OtherClientWindow::Connection {
    test::Connection owned = connectToDisplay();
};

OtherClientWindow::OtherClientWindow() : connection_(std::make_unique<Connection>()) {
    xcb_connection_t* c = connection_->owned.get();
    if (xcb_connection_has_error(c)) {
        return;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    window_ = xcb_generate_id(c);
    const std::array<std::uint32_t, 2> values{
        screen->white_pixel, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_BUTTON_PRESS};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 320, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values.data());
    constexpr std::string_view title = "Chat";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        std::uint32_t(title.size()), title.data());
    // Takes the focus when the window manager gives it, as a chat's text field does.
    const std::array<std::uint32_t, 9> hints{1, 1, 0, 0, 0, 0, 0, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
                        std::uint32_t(hints.size()), hints.data());
    xcb_map_window(c, window_);
    activeAtom_ = atomOf(c, "_NET_ACTIVE_WINDOW");
    xcb_flush(c);
}

OtherClientWindow::~OtherClientWindow() = default;

bool OtherClientWindow::active() {
    xcb_connection_t* c = connection_->owned.get();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const ReplyPointer<xcb_get_property_reply_t> property(
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, activeAtom_, XCB_ATOM_WINDOW, 0, 1),
                               nullptr),
        &std::free);
    return property && xcb_get_property_value_length(property.get()) == 4 &&
           *static_cast<const xcb_window_t*>(xcb_get_property_value(property.get())) == window_;
}

QPoint OtherClientWindow::middle() {
    xcb_connection_t* c = connection_->owned.get();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const ReplyPointer<xcb_translate_coordinates_reply_t> at(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window_, root, 160, 100),
                                        nullptr),
        &std::free);
    return at ? QPoint(at->dst_x, at->dst_y) : QPoint();
}

int OtherClientWindow::keys() {
    read();
    return keys_;
}

int OtherClientWindow::clicks() {
    read();
    return clicks_;
}

void OtherClientWindow::read() {
    xcb_connection_t* c = connection_->owned.get();
    while (const ReplyPointer<xcb_generic_event_t> event{xcb_poll_for_event(c), &std::free}) {
        switch (event->response_type & 0x7f) {
            case XCB_KEY_PRESS:
                ++keys_;
                break;
            case XCB_BUTTON_PRESS:
                ++clicks_;
                break;
            default:
                break;
        }
    }
}

}  // namespace qm::test
