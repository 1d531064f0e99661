#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IPhoneMirror/IPhoneWatcher.h"
#include "Support/ManualTimerSource.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

class ScriptedSource final : public CaptureDeviceSource {
public:
    std::vector<VideoInput> videoInputs() const override {
        ++listings;
        return inputs;
    }
    void onInputsChanged(std::function<void()> handler) override {
        subscriptions += handler ? 1 : 0;
        changed = std::move(handler);
    }
    // What the system does when an input comes or goes.
    void signalChange() {
        if (changed) {
            changed();
        }
    }

    std::vector<VideoInput> inputs;
    std::function<void()> changed;
    mutable int listings = 0;
    int subscriptions = 0;
};

const VideoInput phone{"/dev/video2", "Apple iPhone"};
const VideoInput tablet{"/dev/video4", "iPad Pro"};
const VideoInput webcam{"/dev/video0", "HD Webcam"};

class IPhoneWatcherTest : public ::testing::Test {
protected:
    IPhoneWatcherTest() {
        auto scripted = std::make_unique<ScriptedSource>();
        source = scripted.get();
        watcher = std::make_unique<IPhoneWatcher>(std::move(scripted), timers.makeTimer());
        watcher->onChange = [this](const std::vector<IPhoneDevice>& devices) {
            reports.push_back(devices);
        };
    }

    test::ManualTimerSource timers;
    ScriptedSource* source = nullptr;
    std::unique_ptr<IPhoneWatcher> watcher;
    std::vector<std::vector<IPhoneDevice>> reports;
};

TEST(IPhoneDeviceTest, OffersOnlyInputsNamedAfterAnAppleDevice) {
    const std::pair<std::string, bool> cases[] = {
        {"Apple iPhone", true}, {"iPad Pro", true},   {"IPHONE 15", true},     {"iOS Device", true},
        {"HD Webcam", false},   {"USB Video", false}, {"Kiosk Camera", false}, {"", false},
    };
    for (const auto& [name, offered] : cases) {
        EXPECT_EQ(IPhoneDevice::isIOSScreen({"/dev/video0", name}), offered) << name;
    }
}

TEST_F(IPhoneWatcherTest, ReportsOnlyWhenTheOrderedListChanges) {
    watcher->start();
    source->signalChange();
    EXPECT_TRUE(reports.empty());  // nothing attached is no change

    source->inputs = {webcam, phone, tablet};
    source->signalChange();
    source->signalChange();
    source->inputs = {tablet, webcam, phone};
    source->signalChange();
    source->inputs = {tablet, {phone.id, "Apple iPhone (2)"}};
    source->signalChange();
    source->inputs = {webcam};
    source->signalChange();

    const IPhoneDevice p{phone.id, phone.name};
    const IPhoneDevice t{tablet.id, tablet.name};
    const std::vector<std::vector<IPhoneDevice>> expected = {
        {p, t}, {t, p}, {t, {phone.id, "Apple iPhone (2)"}}, {}};
    EXPECT_EQ(reports, expected);
    EXPECT_TRUE(watcher->devices().empty());
}

TEST_F(IPhoneWatcherTest, PollsAtOnceAndEverySecondForFourSecondsAfterOneStart) {
    watcher->start();
    watcher->start();
    EXPECT_EQ(source->subscriptions, 1);
    EXPECT_EQ(source->listings, 1);
    for (int second = 1; second <= 4; ++second) {
        timers.advance(999ms);
        EXPECT_EQ(source->listings, second);
        timers.advance(1ms);
        EXPECT_EQ(source->listings, second + 1);
    }
    timers.advance(1h);
    EXPECT_EQ(source->listings, 5);

    source->inputs = {phone};
    source->signalChange();
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(IPhoneWatcherTest, CallsNothingAfterStop) {
    watcher->start();
    timers.advance(1500ms);
    watcher->stop();
    source->inputs = {phone};
    timers.advance(1h);
    source->signalChange();
    EXPECT_EQ(source->listings, 2);
    EXPECT_TRUE(reports.empty());

    // Stopped from its own report, mid-poll.
    watcher->onChange = [this](const std::vector<IPhoneDevice>& devices) {
        reports.push_back(devices);
        watcher->stop();
    };
    watcher->start();
    timers.advance(1h);
    source->signalChange();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(source->listings, 3);
}

}  // namespace
}  // namespace qm
