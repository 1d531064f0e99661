// Start-up of the built application as a user meets it: from launch to its window, and from
// Super+Shift+D to the first demo frame on screen, read back from the X server; then the peak
// resident memory over five seconds of demo. Runs under the display it is given, else under an
// Xvfb of its own with openbox. The pointer is moved over the window, so that focus follows it
// where no window manager gives it.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <benchmark/benchmark.h>

#include "BenchRun.h"

extern char** environ;

namespace {

using qm::bench::BenchFailure;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto windowTimeout = 30s;
constexpr auto frameTimeout = 30s;
constexpr auto demoDuration = 5s;
constexpr auto pollInterval = 2ms;
constexpr auto quitTimeout = 10s;

// A child process, ended and reaped with the object; ended by the system too if this program
// dies first, so that nothing it started outlives it.
class Child {
public:
    Child(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
          int displayfd = -1) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& variable : environment) {
            envp.push_back(const_cast<char*>(variable.c_str()));
        }
        envp.push_back(nullptr);
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ < 0) {
            throw BenchFailure("cannot start " + arguments[0]);
        }
        if (pid_ == 0) {
            // Only async-signal-safe calls between fork and exec.
            if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent ||
                (displayfd >= 0 && dup2(displayfd, 3) != 3)) {
                _exit(127);
            }
            execvpe(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }
    ~Child() {
        // Asked first, as a session's end asks; made to after a while.
        kill(pid_, SIGTERM);
        const Clock::time_point deadline = Clock::now() + quitTimeout;
        while (running()) {
            if (Clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(pollInterval);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const noexcept { return pid_; }
    bool running() {
        if (exited_) {
            return false;
        }
        exited_ = waitpid(pid_, nullptr, WNOHANG) == pid_;
        return !exited_;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

std::vector<std::string> currentEnvironment() {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable) {
        variables.emplace_back(*variable);
    }
    return variables;
}

// An Xvfb of our own when no display is given, with openbox on it as a desktop has; Xvfb picks
// a free display number itself.
class OwnDisplay {
public:
    OwnDisplay();

private:
    std::unique_ptr<Child> server_;
    std::unique_ptr<Child> manager_;
};

struct Connection {
    Connection() : c(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            throw BenchFailure("cannot connect to the X server");
        }
        root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    }
    ~Connection() { xcb_disconnect(c); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    xcb_connection_t* c;
    xcb_window_t root;
};

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPtr<Reply> own(Reply* reply) {
    return ReplyPtr<Reply>(reply, &std::free);
}

xcb_atom_t atom(Connection& x, const std::string& name) {
    auto reply = own(xcb_intern_atom_reply(
        x.c, xcb_intern_atom(x.c, 0, std::uint16_t(name.size()), name.c_str()), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

// A window manager announces itself in a property of the root window.
bool windowManagerRuns(Connection& x) {
    static const xcb_atom_t check = atom(x, "_NET_SUPPORTING_WM_CHECK");
    auto reply = own(xcb_get_property_reply(
        x.c, xcb_get_property(x.c, 0, x.root, check, XCB_ATOM_WINDOW, 0, 1), nullptr));
    return reply && xcb_get_property_value_length(reply.get()) > 0;
}

template <typename Condition>
void waitFor(Condition condition, std::chrono::seconds timeout, const char* what, Child& child) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!condition()) {
        if (!child.running()) {
            throw BenchFailure(std::string("it ended while waiting for ") + what);
        }
        if (Clock::now() > deadline) {
            throw BenchFailure(std::string("timed out waiting for ") + what);
        }
        std::this_thread::sleep_for(pollInterval);
    }
}

OwnDisplay::OwnDisplay() {
    if (const char* display = std::getenv("DISPLAY"); display && *display) {
        return;
    }
    int pipe[2];
    if (::pipe(pipe) != 0) {
        throw BenchFailure("no pipe for Xvfb");
    }
    server_ = std::make_unique<Child>(
        std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1920x1080x24",
                                 "-nolisten", "tcp", "-noreset"},
        currentEnvironment(), pipe[1]);
    close(pipe[1]);
    std::string number;
    char c = 0;
    while (::read(pipe[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(pipe[0]);
    if (number.empty()) {
        throw BenchFailure("Xvfb gave no display");
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    manager_ = std::make_unique<Child>(std::vector<std::string>{"openbox", "--sm-disable"},
                                       currentEnvironment());
    Connection x;
    waitFor([&] { return windowManagerRuns(x); }, windowTimeout, "openbox", *manager_);
}

struct Area {
    xcb_window_t window = XCB_NONE;
    int x = 0, y = 0, width = 0, height = 0;  // in root coordinates
};

std::string windowName(Connection& x, xcb_window_t window) {
    auto name = own(xcb_get_property_reply(
        x.c, xcb_get_property(x.c, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 64), nullptr));
    return name ? std::string(static_cast<const char*>(xcb_get_property_value(name.get())),
                              std::size_t(xcb_get_property_value_length(name.get())))
                : std::string();
}

// The viewable window titled "Vantorel" at or under `parent`: a window manager puts the app's
// window in a frame of its own.
std::optional<Area> findWindow(Connection& x, xcb_window_t parent, int depth = 0) {
    auto tree = own(xcb_query_tree_reply(x.c, xcb_query_tree(x.c, parent), nullptr));
    if (!tree || depth > 2) {
        return std::nullopt;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t window = children[i];
        auto attributes = own(
            xcb_get_window_attributes_reply(x.c, xcb_get_window_attributes(x.c, window), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
            continue;
        }
        if (windowName(x, window) != "Vantorel") {
            if (auto found = findWindow(x, window, depth + 1)) {
                return found;
            }
            continue;
        }
        auto geometry = own(xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, window), nullptr));
        auto origin = own(xcb_translate_coordinates_reply(
            x.c, xcb_translate_coordinates(x.c, window, x.root, 0, 0), nullptr));
        if (geometry && origin) {
            return Area{window, origin->dst_x, origin->dst_y, geometry->width, geometry->height};
        }
    }
    return std::nullopt;
}

xcb_keycode_t keycode(Connection& x, xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(x.c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto mapping = own(xcb_get_keyboard_mapping_reply(
        x.c, xcb_get_keyboard_mapping(x.c, setup->min_keycode, count), nullptr));
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    for (int code = 0; code < count; ++code) {
        for (int column = 0; column < mapping->keysyms_per_keycode; ++column) {
            if (keysyms[code * mapping->keysyms_per_keycode + column] == keysym) {
                return xcb_keycode_t(setup->min_keycode + code);
            }
        }
    }
    throw BenchFailure("no key for keysym " + std::to_string(keysym));
}

void fake(Connection& x, std::uint8_t type, std::uint8_t detail, int rootX = 0, int rootY = 0) {
    xcb_test_fake_input(x.c, type, detail, XCB_CURRENT_TIME, x.root, std::int16_t(rootX),
                        std::int16_t(rootY), 0);
}

// The middle of the window's content, where the video sits; empty when it cannot be read.
std::vector<std::uint8_t> videoPixels(Connection& x, const Area& window) {
    const int width = window.width / 3;
    const int height = window.height / 3;
    auto image = own(xcb_get_image_reply(
        x.c,
        xcb_get_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, window.window, std::int16_t(width),
                      std::int16_t(height), std::uint16_t(width), std::uint16_t(height), ~0u),
        nullptr));
    if (!image) {
        return {};
    }
    const std::uint8_t* data = xcb_get_image_data(image.get());
    return {data, data + xcb_get_image_data_length(image.get())};
}

bool isBackdrop(const std::vector<std::uint8_t>& pixels) {
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        if (pixels[i] > 16 || pixels[i + 1] > 16 || pixels[i + 2] > 16) {
            return false;
        }
    }
    return true;
}

double peakResidentMegabytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;  // kB
        }
    }
    return 0;
}

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void BM_AppStartToDemoFrame(benchmark::State& state) {
    // One for all repetitions.
    static OwnDisplay display;
    Connection x;
    const xcb_keycode_t super = keycode(x, 0xffeb);  // Super_L
    const xcb_keycode_t shift = keycode(x, 0xffe1);  // Shift_L
    const xcb_keycode_t d = keycode(x, 'd');
    for (auto _ : state) {
        // Declared before the app, so that the app has quit (and written its settings) before
        // its home goes.
        const qm::bench::TempFolder home("vantorel-bench");
        std::vector<std::string> environment = currentEnvironment();
        environment.push_back("HOME=" + home.path().string());
        environment.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
        environment.push_back("XDG_DATA_HOME=" + (home / "data").string());
        environment.push_back("XDG_CACHE_HOME=" + (home / "cache").string());
        // No session bus to autolaunch, no speaker.
        environment.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent");
        environment.push_back("SDL_AUDIODRIVER=dummy");

        const Clock::time_point launched = Clock::now();
        Child app({VANTOREL_EXECUTABLE}, environment);
        std::optional<Area> window;
        waitFor([&] { return (window = findWindow(x, x.root)).has_value(); }, windowTimeout,
                "the window", app);
        const Clock::time_point shown = Clock::now();

        fake(x, XCB_MOTION_NOTIFY, 0, window->x + window->width / 2,
             window->y + window->height / 2);
        xcb_flush(x.c);
        std::vector<std::uint8_t> before;
        waitFor([&] { return !(before = videoPixels(x, *window)).empty(); }, windowTimeout,
                "the window's picture", app);
        const Clock::time_point pressed = Clock::now();
        for (const xcb_keycode_t key : {super, shift, d}) {
            fake(x, XCB_KEY_PRESS, key);
        }
        for (const xcb_keycode_t key : {d, shift, super}) {
            fake(x, XCB_KEY_RELEASE, key);
        }
        xcb_flush(x.c);
        waitFor(
            [&] {
                const std::vector<std::uint8_t> now = videoPixels(x, *window);
                return !now.empty() && now != before && !isBackdrop(now);
            },
            frameTimeout, "the first demo frame", app);
        const Clock::time_point framed = Clock::now();
        std::this_thread::sleep_for(demoDuration);

        state.SetIterationTime(std::chrono::duration<double>(framed - launched).count());
        state.counters["start_to_window_ms"] = millisecondsBetween(launched, shown);
        state.counters["key_to_frame_ms"] = millisecondsBetween(pressed, framed);
        state.counters["total_ms"] =
            millisecondsBetween(launched, shown) + millisecondsBetween(pressed, framed);
        state.counters["peak_rss_mb"] = peakResidentMegabytes(app.pid());
    }
}

BENCHMARK(BM_AppStartToDemoFrame)
    ->Iterations(1)
    ->Repetitions(qm::bench::rounds(5))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    return qm::bench::guarded([] {
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        return 0;
    });
}
