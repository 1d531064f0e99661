#include <QCoreApplication>
#include <QSignalSpy>
#include <csignal>

#include <pthread.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Desktop/QuitSignals.h"

namespace qm {
namespace {

// Handled on this thread before the call returns, also under ThreadSanitizer, which holds a
// signal back until the thread next calls into it: a raw system call would leave it pending.
void send(int signal) {
    ASSERT_EQ(::pthread_kill(::pthread_self(), signal), 0);
}

// What the handler wrote reaches the event loop in one pass.
void runEvents() {
    for (int pass = 0; pass < 2; ++pass) {
        QCoreApplication::processEvents();
    }
}

// A logout sends SIGTERM and SIGHUP, and may repeat them, and a first Ctrl+C comes on top: one
// request to quit, which the app carries out to its end.
TEST(QuitSignalsTest, ALogoutsSignalsAndTheirRepeatsAreOneRequest) {
    QuitSignals quit;
    QSignalSpy requested(&quit, &QuitSignals::requested);
    send(SIGTERM);
    runEvents();
    EXPECT_EQ(requested.count(), 1);
    for (const int again : {SIGHUP, SIGTERM, SIGHUP, SIGINT}) {
        send(again);
    }
    runEvents();
    EXPECT_EQ(requested.count(), 1);
}

void sayLastWords() {
    constexpr char words[] = "last words\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, words, sizeof words - 1);
}

// Ctrl+C pressed again while the quit runs ends the process at once, after its last words.
TEST(QuitSignalsDeathTest, ASecondCtrlCEndsTheProcessAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            QuitSignals quit(sayLastWords);
            send(SIGINT);
            send(SIGTERM);
            const char still[] = "still running\n";
            [[maybe_unused]] const ssize_t written =
                ::write(STDERR_FILENO, still, sizeof still - 1);
            send(SIGINT);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGINT), "still running\nlast words");
}

}  // namespace
}  // namespace qm
