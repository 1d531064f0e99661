// The executable "vantorel-keys", started by the app with its end of a socket pair as descriptor
// 3. The X server keeps a key pressed through XTEST down after its client has gone, for every
// client: the app tells this process which keys it is about to press, and this process lets go
// of those still down, on a connection of its own, as soon as the app ends (the pair closes) or
// stops answering. It ends with the app.
#include <algorithm>
#include <array>
#include <bitset>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "Input/KeyWatcherProtocol.h"

namespace {

using namespace qm::keywatcher;
using Clock = std::chrono::steady_clock;

class Watcher {
public:
    explicit Watcher(xcb_connection_t* display) : display_(display) {}

    // Until the app's end; the exit status.
    int run() {
        while (true) {
            std::array<pollfd, 2> ready{
                {{socketFd, POLLIN, 0}, {xcb_get_file_descriptor(display_), POLLIN, 0}}};
            if (poll(ready.data(), ready.size(), timeout()) < 0 && errno != EINTR) {
                letGo();
                return EXIT_FAILURE;
            }
            // Nothing asked of the display brings events: it is read only to see it gone.
            while (xcb_generic_event_t* event = xcb_poll_for_event(display_)) {
                std::free(event);
            }
            if (xcb_connection_has_error(display_)) {
                return EXIT_FAILURE;
            }
            if (!readApp()) {
                letGo();
                return EXIT_SUCCESS;
            }
            check();
        }
    }

private:
    // False once the app's end has closed.
    bool readApp() {
        while (true) {
            Packet packet;
            const ssize_t got = recv(socketFd, &packet, sizeof packet, MSG_DONTWAIT);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return true;
            }
            if (got <= 0) {
                return false;
            }
            if (got != sizeof packet) {
                continue;
            }
            switch (packet.kind) {
                case Kind::guard:
                    // An answer overdue from before counts from now.
                    if (guarded_.none()) {
                        askedAt_ = Clock::now();
                        answeredAt_ = askedAt_;
                    }
                    guarded_.set(packet.keycode);
                    break;
                case Kind::unguard:
                    guarded_.reset(packet.keycode);
                    break;
                case Kind::answer:
                    asked_ = false;
                    stopped_ = false;
                    answeredAt_ = Clock::now();
                    break;
                case Kind::ping:
                    break;
            }
        }
    }

    // Asks the app while it has keys down; lets go of them once an answer is overdue.
    void check() {
        if (guarded_.none()) {
            return;
        }
        const auto now = Clock::now();
        if (asked_ && !stopped_ && now - askedAt_ >= answerLimit) {
            // Those it presses again once it goes on are let go at its end.
            stopped_ = true;
            letGo();
        } else if (!asked_ && now - answeredAt_ >= pingInterval) {
            const Packet ping{Kind::ping, 0};
            asked_ = send(socketFd, &ping, sizeof ping, MSG_DONTWAIT | MSG_NOSIGNAL) > 0;
            askedAt_ = now;
        }
    }

    int timeout() const {
        if (guarded_.none() || (asked_ && stopped_)) {
            return -1;
        }
        const auto due = asked_ ? askedAt_ + answerLimit : answeredAt_ + pingInterval;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
        return std::max(0, int(left.count()));
    }

    void letGo() {
        for (std::size_t key = 0; key < guarded_.size(); ++key) {
            if (guarded_[key]) {
                xcb_test_fake_input(display_, XCB_KEY_RELEASE, std::uint8_t(key), XCB_CURRENT_TIME,
                                    XCB_NONE, 0, 0, 0);
            }
        }
        // Handled by the server before this process may end.
        std::free(xcb_get_input_focus_reply(display_, xcb_get_input_focus(display_), nullptr));
    }

    xcb_connection_t* display_;
    std::bitset<256> guarded_;
    bool asked_ = false;
    // Taken for stopped: its keys were let go.
    bool stopped_ = false;
    Clock::time_point askedAt_;
    Clock::time_point answeredAt_;
};

}  // namespace

int main() {
    // Job control and a logout's signals reach the app's whole process group: this process ends
    // only as the app's end of the pair closes, whatever ends the app, and lets go first.
    setsid();
    for (const int signal :
         {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE}) {
        std::signal(signal, SIG_IGN);
    }
    // Nothing of the app's stays open here: its lock, its files, its display connection.
    close_range(socketFd + 1, ~0U, 0);
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> display(
        xcb_connect(nullptr, nullptr), &xcb_disconnect);
    if (xcb_connection_has_error(display.get())) {
        std::fputs("vantorel-keys: cannot open the display\n", stderr);
        return EXIT_FAILURE;
    }
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(display.get(), &xcb_test_id);
    if (!xtest || !xtest->present) {
        std::fputs("vantorel-keys: the display has no XTEST\n", stderr);
        return EXIT_FAILURE;
    }
    return Watcher(display.get()).run();
}
