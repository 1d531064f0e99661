#pragma once

#include <chrono>
#include <cstdint>

namespace qm::keywatcher {

// What the app and its key watcher say to each other over their socket pair: packets of two
// bytes, a kind and a keycode.
enum class Kind : std::uint8_t {
    // App to watcher: the key is about to be pressed; let it go should the app end or stop.
    guard = 'G',
    // App to watcher: the key has been let go.
    unguard = 'U',
    // Watcher to app, while it guards a key: the app is to answer at once.
    ping = 'p',
    answer = 'a',
};

struct Packet {
    Kind kind = Kind::ping;
    std::uint8_t keycode = 0;
};
static_assert(sizeof(Packet) == 2);

// The watcher's end of the pair, in the watcher.
constexpr int socketFd = 3;
// How often the watcher asks while it guards, and how long an answer may take before it takes
// the app for stopped: a process the scheduler merely passed over answers well within it.
constexpr std::chrono::milliseconds pingInterval{50};
constexpr std::chrono::milliseconds answerLimit{250};

}  // namespace qm::keywatcher
