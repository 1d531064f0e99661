#include "PrivateDisplay.h"

#include <QFile>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include "QuillmereCore/FileDescriptor.h"

extern char** environ;

namespace qm::test {

namespace {

using namespace std::chrono_literals;

// Generous: the machine may be busy with builds and sanitizers.
constexpr auto startLimit = 60s;

// Openbox's own configuration, as a user has it before changing anything: its key and mouse
// bindings are the ones the application must live with.
constexpr const char* managerConfig = "/etc/xdg/openbox/rc.xml";

// Starts a program with its output thrown away; -1 when it cannot.
pid_t spawn(const std::vector<std::string>& arguments) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
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

// Whether a window manager has announced itself on the display.
bool managed(xcb_connection_t* connection, xcb_window_t root) {
    static constexpr std::string_view name = "_NET_SUPPORTING_WM_CHECK";
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, name.size(), name.data()),
                              nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return false;
    }
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> property(
        xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1),
            nullptr),
        &std::free);
    return property && xcb_get_property_value_length(property.get()) > 0;
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
    if (!QFile::exists(managerConfig)) {
        return ::testing::AssertionFailure()
               << managerConfig << " is missing: install openbox (scripts/install-deps)";
    }
    if (auto started = startServer(screen); !started) {
        return started;
    }
    return startManager();
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
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> owned(connection,
                                                                             &xcb_disconnect);
    if (xcb_connection_has_error(connection)) {
        return ::testing::AssertionFailure() << "cannot connect to the private display";
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    // The manager announces itself in a property of the root window: its changes wake the wait.
    const std::uint32_t propertyChanges = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &propertyChanges);
    xcb_flush(connection);
    manager_ = spawn({"openbox", "--sm-disable", "--config-file", managerConfig});
    if (manager_ < 0) {
        return ::testing::AssertionFailure() << "openbox did not start";
    }
    const FileDescriptor process(int(syscall(SYS_pidfd_open, manager_, 0)));
    const auto deadline = std::chrono::steady_clock::now() + startLimit;
    // Events the last check's replies brought along are already read: they count as a wake-up.
    const auto drain = [connection](auto next) {
        bool any = false;
        while (const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event{
            next(connection), &std::free}) {
            any = true;
        }
        return any;
    };
    while (!managed(connection, root)) {
        if (drain(xcb_poll_for_queued_event)) {
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        std::array<pollfd, 2> ready{
            {{xcb_get_file_descriptor(connection), POLLIN, 0}, {process.get(), POLLIN, 0}}};
        if (left.count() <= 0 || poll(ready.data(), ready.size(), int(left.count())) == 0) {
            return ::testing::AssertionFailure() << "openbox did not take the screen";
        }
        if ((ready[1].revents & POLLIN) && exited(manager_)) {
            manager_ = -1;
            return ::testing::AssertionFailure() << "openbox ended at its start";
        }
        drain(xcb_poll_for_event);
    }
    return ::testing::AssertionSuccess();
}

}  // namespace qm::test
