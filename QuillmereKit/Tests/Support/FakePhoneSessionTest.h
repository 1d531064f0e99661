#pragma once

#include <QCoreApplication>
#include <QObject>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "DeviceLink/DeviceLink.h"
#include "QuillmereKit/Session/Session.h"
#include "QuillmereKit/Tasks/QtExecutor.h"
#include "Support/FakeUsb.h"
#include "Support/ManualTimerSource.h"
#include "Support/Waiting.h"

namespace qm::test {

// Runs what the workers handed to this thread until `condition` holds.
template <typename Condition>
bool until(Condition condition) {
    return eventually(
        [&] {
            QCoreApplication::sendPostedEvents();
            return condition();
        },
        std::chrono::seconds(30));
}

template <typename T>
void settle(const GuiTask<T>& task) {
    ASSERT_TRUE(until([&] { return task.isSettled(); }));
}

// How the task ended, once it has.
template <typename T>
TaskOutcome<T> outcomeOf(const GuiTask<T>& task) {
    auto outcome = std::make_shared<std::optional<TaskOutcome<T>>>();
    task.then([outcome](const TaskOutcome<T>& ended) { *outcome = ended; });
    EXPECT_TRUE(until([&] { return outcome->has_value(); }));
    return outcome->value_or(TaskOutcome<T>(Cancelled{}));
}

// The stage's render queue: counts the frames the session hands over.
class FrameCounter final : public Executor {
public:
    void post(std::function<void()> work) override {
        ++count_;
        work();
    }
    std::size_t count() const { return count_; }

private:
    std::atomic<std::size_t> count_{0};
};

// The app's sound output, watched: the mute flag it was given and the packets that reached it.
struct PlayerRecord {
    std::atomic<bool> muted{false};
    std::atomic<int> packets{0};
    std::atomic<int> stops{0};
    std::atomic<int> stopsOnGuiThread{0};  // each waits for the device's thread to end
};

// A real session on a phone of the fake USB bus, through the real device link and launcher,
// as the app runs one: the session hears every state of the link, its timers are the test's and
// each test ends with the phone having seen no protocol violation. GUI thread.
class FakePhoneSessionTest : public ::testing::Test {
protected:
    static const UsbAdbDevice phoneA;

    void SetUp() override;
    void TearDown() override;

    // A phone on the bus, serving `script_` from each new connection.
    void attachPhone();
    // The session on a connected phone; unless the environment says otherwise, it runs on the
    // test's timers, waits for the extension's hello as long as a busy machine needs, the stage
    // draws into the frame counter and the sound goes to watched players.
    Session& connect(SessionEnvironment environment = {});

    FakeDeviceServer& server() { return devices_.back()->phone()->server(); }
    bool streams();
    // Frames the stage got from now on.
    bool framesArrive(std::size_t count);
    // The stream plays, its sound reaching the player: a recording started now has both tracks.
    bool playsWithSound();

    // Holds the host key; removed at the end.
    std::filesystem::path folder_;
    FakeServerScript script_;
    FakeUsb usb_;
    std::vector<std::shared_ptr<FakeUsbDevice>> devices_;
    std::shared_ptr<ManualTimerSource> timers_ = std::make_shared<ManualTimerSource>();
    std::shared_ptr<FrameCounter> frames_ = std::make_shared<FrameCounter>();
    std::vector<std::shared_ptr<PlayerRecord>> players_;
    QObject context_;
    QtExecutor states_{&context_};
    bool connected_ = false;
    std::unique_ptr<DeviceLink> link_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<Subscription> subscription_;
};

}  // namespace qm::test
