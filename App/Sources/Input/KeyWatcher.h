#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include <sys/types.h>

#include "Input/KeyWatcherProtocol.h"
#include "QuillmereCore/FileDescriptor.h"

namespace qm {

// The process that lets go of the keys this one pressed on the display through XTEST, should
// this one end or stop with them down: the X server would keep them down for every client.
// Answers its questions on a thread of its own. guard() and unguard() on one thread at a time.
class KeyWatcher {
public:
    // The watcher installed with the app, or beside the executable in the build tree; empty
    // when there is none.
    static std::string installed();

    // Starts the program on the display of $DISPLAY; guards nothing when it cannot. `ended` is
    // called on the answering thread should the watcher end, or fail to take a key, before this
    // is destroyed: what it guarded is no longer let go.
    KeyWatcher(const std::string& program, std::function<void()> ended);
    KeyWatcher(const KeyWatcher&) = delete;
    KeyWatcher& operator=(const KeyWatcher&) = delete;
    // The watcher lets go of what is still guarded and ends.
    ~KeyWatcher();

    // Whether keys guarded now will be let go whatever ends or stops this process.
    bool guarding() const { return running_; }
    // Before the key's press is sent to the display.
    void guard(std::uint8_t keycode);
    // Once its release has been sent.
    void unguard(std::uint8_t keycode);

private:
    void tell(keywatcher::Kind kind, std::uint8_t keycode);
    void answer();

    std::function<void()> ended_;
    FileDescriptor socket_;
    FileDescriptor process_;
    pid_t pid_ = -1;
    std::atomic<bool> running_{false};
    std::thread answering_;
};

}  // namespace qm
