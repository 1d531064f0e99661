#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "QuillmereKit/Tasks/GuiTask.h"
#include "Support/ManualTimerSource.h"
#include "Support/Waiting.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

// Runs what is queued, and what that queues in turn: a helper's result is one hop further.
void runPosted() {
    for (int hop = 0; hop < 4; ++hop) {
        QCoreApplication::sendPostedEvents();
    }
}

std::string describe(const TaskOutcome<int>& outcome) {
    if (outcome.isCancelled()) {
        return "cancelled";
    }
    if (outcome.error()) {
        return "error " + qm::describe(outcome.error());
    }
    return std::to_string(outcome.get());
}

TEST(GuiTaskTest, ContinuationsRunQueuedInAttachOrderAlsoAfterSettling) {
    QObject context;
    GuiTask<int> task(&context);
    std::vector<std::string> ran;
    task.then([&](const auto& outcome) { ran.push_back("first " + describe(outcome)); });
    EXPECT_TRUE(task.settle(7));
    EXPECT_FALSE(task.settle(8));
    EXPECT_FALSE(task.cancel());
    task.then([&](const auto& outcome) { ran.push_back("late " + describe(outcome)); });
    EXPECT_TRUE(ran.empty());  // never inline

    runPosted();
    EXPECT_EQ(ran, (std::vector<std::string>{"first 7", "late 7"}));
    task.then([&](const auto& outcome) { ran.push_back("later " + describe(outcome)); });
    runPosted();
    EXPECT_EQ(ran.back(), "later 7");
}

TEST(GuiTaskTest, NothingRunsForAContextThatIsGone) {
    auto context = std::make_unique<QObject>();
    GuiTask<int> settledBefore(context.get());
    GuiTask<int> settledAfter(context.get());
    int ran = 0;
    settledBefore.then([&](const auto&) { ++ran; });
    settledAfter.then([&](const auto&) { ++ran; });
    settledBefore.settle(1);  // queued, not yet run
    QtExecutor executor(context.get());

    context.reset();
    settledAfter.settle(2);
    std::thread([&] { executor.post([&] { ++ran; }); }).join();
    runPosted();
    EXPECT_EQ(ran, 0);
}

TEST(GuiTaskTest, CompletionsAndWorkersSettleOnTheGuiThread) {
    QObject context;
    std::vector<std::string> ran;
    const auto record = [&](const std::string& name) {
        return [&ran, name](const TaskOutcome<int>& outcome) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            ran.push_back(name + " " + describe(outcome));
        };
    };
    // An API that reports by calling back, from its own thread.
    std::jthread caller;
    const auto fetch = [&](std::function<void(int)> done) { caller = std::jthread(done, 42); };
    fromCompletion<int>(&context, [&](auto done) { fetch(done); }).then(record("completion"));
    runOnWorker(&context, [] { return 5; }).then(record("worker"));
    runOnWorker(&context, []() -> int {
        throw std::runtime_error("no log");
    }).then(record("throwing worker"));
    // Dropped uncalled by an API that gave up: nothing can settle it any more.
    fromCompletion<int>(&context, [](auto) {}).then(record("abandoned"));

    ASSERT_TRUE(test::eventually([&] {
        QCoreApplication::processEvents();
        return ran.size() == 4;
    }));
    std::sort(ran.begin(), ran.end());
    EXPECT_EQ(ran, (std::vector<std::string>{"abandoned cancelled", "completion 42",
                                             "throwing worker error no log", "worker 5"}));
}

TEST(GuiTaskTest, WhenAllGathersEveryOutcomeInOrder) {
    QObject context;
    GuiTask<int> value(&context), failure(&context), cancelled(&context);
    std::vector<std::string> gathered;
    whenAll(&context, std::vector{value, failure, cancelled}).then([&](const auto& outcome) {
        for (const TaskOutcome<int>& each : outcome.get()) {
            gathered.push_back(describe(each));
        }
    });
    cancelled.cancel();
    value.settle(3);
    runPosted();
    EXPECT_TRUE(gathered.empty());
    failure.settle(std::make_exception_ptr(std::runtime_error("lost")));
    runPosted();
    EXPECT_EQ(gathered, (std::vector<std::string>{"3", "error lost", "cancelled"}));

    bool emptyDone = false;
    whenAll(&context, std::vector<GuiTask<void>>{}).then([&](const auto&) { emptyDone = true; });
    runPosted();
    EXPECT_TRUE(emptyDone);
}

TEST(GuiTaskTest, FirstOfResumesOnceAndCancelsNeitherSide) {
    QObject context;
    test::ManualTimerSource timers;

    // The task ends first: the later timer changes nothing.
    GuiTask<int> quick(&context);
    int quickResumes = 0;
    firstOf(&context, quick, 5000ms, timers).then([&](const auto& inTime) {
        EXPECT_TRUE(inTime.get());
        ++quickResumes;
    });
    timers.advance(4999ms);
    runPosted();
    EXPECT_EQ(quickResumes, 0);
    quick.settle(1);
    runPosted();
    timers.advance(10s);
    runPosted();
    EXPECT_EQ(quickResumes, 1);

    // The delay passes first: the task runs on and may still end, without a second resume.
    GuiTask<void> slow(&context);
    int slowResumes = 0;
    firstOf(&context, slow, 5000ms, timers).then([&](const auto& inTime) {
        EXPECT_FALSE(inTime.get());
        ++slowResumes;
    });
    timers.advance(5000ms);
    runPosted();
    EXPECT_EQ(slowResumes, 1);
    EXPECT_FALSE(slow.isSettled());
    EXPECT_TRUE(slow.settle({}));
    runPosted();
    EXPECT_EQ(slowResumes, 1);
    EXPECT_EQ(timers.pending(), 0u);
}

// Closing lasts for the rest of the process, so it is done in a process of its own.
TEST(QtExecutorDeathTest, OnceClosedEveryPostIsDroppedAndADroppedWorksCapturesMayPost) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            QObject context;
            QtExecutor executor(&context);
            int ran = 0;
            // As a dropped task's cancellation does.
            struct PostsWhenDropped {
                explicit PostsWhenDropped(QtExecutor& to) : executor(to) {}
                ~PostsWhenDropped() {
                    executor.post([] {});
                }
                QtExecutor& executor;
            };
            QtExecutor::closeAll();
            executor.post([&ran, holds = std::make_shared<PostsWhenDropped>(executor)] { ++ran; });
            std::thread([&] { executor.post([&] { ++ran; }); }).join();
            runPosted();
            std::_Exit(ran);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qm
