#include "QuitSignals.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "QuillmereCore/Log.h"

namespace qm {

namespace {

constexpr std::array<int, 3> quitSignals{SIGTERM, SIGINT, SIGHUP};

// What the handler reads: it may run on any thread, at any moment.
std::atomic<int> pipeInput{-1};
std::atomic<QuitSignals::LastWords> lastWordsOf{nullptr};
std::atomic<bool> quitAsked{false};
std::atomic<bool> interrupted{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
              std::atomic<QuitSignals::LastWords>::is_always_lock_free);

void handle(int signal) {
    // A person who presses Ctrl+C again does not want to wait for the quit. A logout sends SIGTERM
    // and SIGHUP at once, and may repeat them: one request, which the quit already carries out.
    if (signal == SIGINT && interrupted.exchange(true)) {
        if (const QuitSignals::LastWords words = lastWordsOf.load()) {
            words();
        }
        // Delivered once the handler returns, with the default action: the process ends.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    if (quitAsked.exchange(true)) {
        return;
    }
    const int savedErrno = errno;
    const char byte = 1;
    // The pipe is empty: nothing has been written before.
    [[maybe_unused]] const ssize_t written = ::write(pipeInput.load(), &byte, 1);
    errno = savedErrno;
}

}  // namespace

QuitSignals::QuitSignals(LastWords lastWords, QObject* parent) : QObject(parent) {
    std::array<int, 2> ends{-1, -1};
    if (::pipe2(ends.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        Log::session().warn("SIGTERM, SIGINT and SIGHUP will end the app without saving: {}",
                            std::strerror(errno));
        return;
    }
    reading_ = FileDescriptor(ends[0]);
    writing_ = FileDescriptor(ends[1]);
    notifier_ = std::make_unique<QSocketNotifier>(reading_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(reading_.get(), &byte, 1) == 1) {
        }
        emit requested();
    });
    pipeInput = writing_.get();
    lastWordsOf = lastWords;
    quitAsked = false;
    interrupted = false;
    struct sigaction action {};
    action.sa_handler = handle;
    sigemptyset(&action.sa_mask);
    for (const int signal : quitSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    // Interrupted reads and waits elsewhere go on as if nothing came.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < quitSignals.size(); ++i) {
        struct sigaction previous {};
        if (::sigaction(quitSignals[i], nullptr, &previous) == 0 &&
            previous.sa_handler != SIG_IGN && ::sigaction(quitSignals[i], &action, nullptr) == 0) {
            previous_[i] = previous;
        }
    }
}

QuitSignals::~QuitSignals() {
    for (std::size_t i = 0; i < quitSignals.size(); ++i) {
        if (previous_[i]) {
            ::sigaction(quitSignals[i], &*previous_[i], nullptr);
        }
    }
    pipeInput = -1;
    lastWordsOf = nullptr;
}

}  // namespace qm
