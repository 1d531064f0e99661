#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

#include <libusb.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceLink/DeviceLink.h"
#include "QuillmereCore/SerialQueue.h"
#include "Support/FakeUsb.h"
#include "Support/FakeUsbBus.h"
#include "Support/TestHost.h"
#include "Support/Waiting.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using Approval = FakeAdbScript::Approval;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class InlineExecutor final : public Executor {
public:
    void post(std::function<void()> work) override { work(); }
};

// Every state one subscriber heard, in order.
class StateLog {
public:
    DeviceLink::StateHandler handler() {
        return [this](const DeviceLinkState& state) {
            std::lock_guard lock(mutex_);
            states_.push_back(state);
        };
    }
    std::vector<DeviceLinkState> states() const {
        std::lock_guard lock(mutex_);
        return states_;
    }
    DeviceLinkState last() const {
        std::lock_guard lock(mutex_);
        return states_.empty() ? DeviceLinkState{} : states_.back();
    }
    // A pulled cable fails transfers before the detach is heard, so the states on the way to
    // the last one may vary.
    bool endsAt(const DeviceLinkState& state) const {
        return eventually([&] { return last() == state; });
    }
    bool reaches(const DeviceLinkState& state, std::size_t atIndex) const {
        return eventually([&] {
            std::lock_guard lock(mutex_);
            return states_.size() > atIndex && states_[atIndex] == state;
        });
    }

private:
    mutable std::mutex mutex_;
    std::vector<DeviceLinkState> states_;
};

const DeviceInfo android14{"QM0001", "Quillmere", "QM One", "14", 34};
const UsbAdbDevice phoneA{UsbInterfaceID::make(1, 4, 1, 0), "QM0001", "QM One"};
const UsbAdbDevice phoneB{UsbInterfaceID::make(1, 9, 1, 0), "QM0002", "QM Two"};

const DeviceLinkState noDevice = DeviceLinkState::noDevice();
const DeviceLinkState connected = DeviceLinkState::connected(android14);

class DeviceLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("qm-link-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        keyFile_ = folder_ / "adbkey";
        writeTestHostKey(keyFile_);
    }
    void TearDown() override {
        link_.reset();
        std::filesystem::remove_all(folder_);
    }

    DeviceLink& link(DeviceLinkOptions options = {}) {
        options.events = usb_.events();
        if (!options.openTransport) {
            options.openTransport = usb_.opener();
        }
        options.clock = clock_.taskClock();
        return make(std::move(options));
    }
    // Over the real device monitor on a fake libusb bus. The bus keeps its own time, so that
    // the link's retries are counted on a clock that only the link moves.
    DeviceLink& linkOverBus() {
        DeviceLinkOptions options;
        options.events = UsbDeviceMonitor::source(bus_.monitorOptions());
        options.openTransport = bus_.transports();
        options.clock = clock_.taskClock();
        return make(std::move(options));
    }
    DeviceLink& make(DeviceLinkOptions options) {
        options.recoveryDelay = 5ms;
        options.adb.drainIdle = 1ms;
        if (options.stableUptime == 10s) {
            options.stableUptime = 5s;
        }
        link_ = std::make_unique<DeviceLink>(keyFile_, "tester@desk", std::move(options));
        subscription_ = link_->states(executor_, log_.handler());
        return *link_;
    }

    std::filesystem::path folder_;
    std::filesystem::path keyFile_;
    VirtualClock clock_;
    FakeUsb usb_;
    FakeUsbBus bus_;
    InlineExecutor executor_;
    StateLog log_;
    std::unique_ptr<DeviceLink> link_;
    std::unique_ptr<Subscription> subscription_;
};

TEST_F(DeviceLinkTest, AttachedPhoneIsConnectedAndItsConnectionServes) {
    DeviceLink& l = link();
    EXPECT_THAT(log_.states(), ElementsAre(noDevice));
    auto device = usb_.attach(phoneA, trustingPhone());
    EXPECT_EQ(usb_.watchesStarted(), 0u);  // nothing before start

    l.start();
    ASSERT_TRUE(log_.reaches(connected, 1));
    const auto connection = l.connection();
    ASSERT_NE(connection, nullptr);
    device->phone()->adb().services().answerShell("echo hi", "hi\n");
    EXPECT_EQ(connection->shell("echo hi"), "hi\n");
    const Bytes jar(300'000, 0x5A);  // several full packets per piece
    connection->push(jar, "/data/local/tmp/quillmere-server.jar", 0644);
    EXPECT_EQ(device->phone()->adb().services().file("/data/local/tmp/quillmere-server.jar")->data,
              jar);
    EXPECT_THAT(device->violations(), IsEmpty());

    StateLog late;
    auto lateSubscription = l.states(executor_, late.handler());
    EXPECT_THAT(late.states(), ElementsAre(connected));
    usb_.detach(phoneA.interfaceID);
    ASSERT_TRUE(log_.endsAt(noDevice));
    ASSERT_TRUE(late.endsAt(noDevice));
    EXPECT_EQ(l.connection(), nullptr);
}

TEST_F(DeviceLinkTest, UnauthorizedUntilTheUserAllows) {
    FakeUsbDevice::Options options;
    options.adb.approval = Approval::onSignal;
    auto device = usb_.attach(phoneA, options);
    link().start();
    ASSERT_TRUE(log_.reaches(DeviceLinkState::unauthorized(phoneA), 1));
    // The host reports the prompt once it has offered its key; the phone may still be reading it.
    ASSERT_TRUE(eventually([&] { return device->phone()->adb().approvePendingKey(); }));
    ASSERT_TRUE(log_.reaches(connected, 2));
}

TEST_F(DeviceLinkTest, PhonesBelowAndroid11AreRefused) {
    FakeUsbDevice::Options options = trustingPhone();
    options.prepare = [](FakePhone& phone) {
        phone.adb().trust(*testHostKey());
        phone.adb().services().answerShell(std::string(DeviceInfoQuery::command),
                                           "QM0001\nQuillmere\nQM Old\n10\n29\n");
    };
    auto device = usb_.attach(phoneA, options);
    DeviceLink& l = link();
    l.start();
    ASSERT_TRUE(log_.reaches(
        DeviceLinkState::failed(LinkFailure::androidTooOld, "Android 11+ required"), 1));
    EXPECT_EQ(l.connection(), nullptr);
    EXPECT_TRUE(eventually([&] { return device->port()->isAborted(); }));
}

TEST_F(DeviceLinkTest, FailuresBeforeAConnectionSayWhereTheyHappened) {
    {
        std::ofstream(keyFile_, std::ios::trunc) << "not a key";
        usb_.attach(phoneA, trustingPhone());
        link().start();
        ASSERT_TRUE(log_.reaches(DeviceLinkState::failed(LinkFailure::keyUnavailable,
                                                         "Cannot load ADB key: the key file does "
                                                         "not hold a usable 2048-bit RSA private "
                                                         "key"),
                                 1));
        usb_.detach(phoneA.interfaceID);
        writeTestHostKey(keyFile_);
    }
    FakeUsbPort::Options noBulkOut;
    noBulkOut.endpoints = {{0x81, true, true, 512}};
    usb_.attach(phoneB, trustingPhone(noBulkOut));
    ASSERT_TRUE(log_.reaches(
        DeviceLinkState::failed(LinkFailure::usbUnavailable, "Cannot open USB interface: notFound"),
        3));
    usb_.detach(phoneB.interfaceID);

    FakeUsbDevice::Options stls = trustingPhone();
    stls.adb.fault = HandshakeFault::stls;
    usb_.attach(phoneA, stls);
    ASSERT_TRUE(log_.reaches(
        DeviceLinkState::failed(LinkFailure::handshakeFailed,
                                "ADB handshake failed: device requested TLS (STLS); only plain "
                                "USB is supported"),
        5));
    usb_.detach(phoneA.interfaceID);

    // What a person is told follows what ended the handshake.
    FakeUsbDevice::Options refusing;
    refusing.adb.approval = Approval::refuse;
    usb_.attach(phoneA, refusing);
    ASSERT_TRUE(log_.endsAt(DeviceLinkState::failed(
        LinkFailure::refused, "ADB handshake failed: the device rejected this computer's key")));
    usb_.detach(phoneA.interfaceID);

    FakeUsbDevice::Options pulled = trustingPhone();
    pulled.adb.fault = HandshakeFault::dropLink;
    usb_.attach(phoneA, pulled);
    ASSERT_TRUE(eventually([&] {
        const DeviceLinkState last = log_.last();
        const auto* failed = std::get_if<DeviceLinkState::Failed>(&last.value);
        return failed && failed->cause == LinkFailure::unplugged;
    }));
}

TEST_F(DeviceLinkTest, APhoneThatNeverAnswersIsToldAsOneThatDidNotAnswer) {
    DeviceLinkOptions options;
    options.adb.shellTimeout = 1ms;  // the phone never finishes: any bound ends the same
    FakeUsbDevice::Options silent = trustingPhone();
    silent.prepare = [](FakePhone& phone) {
        phone.adb().trust(*testHostKey());
        phone.adb().services().hangShell(std::string(DeviceInfoQuery::command), "");
    };
    usb_.attach(phoneA, silent);
    link(options).start();
    ASSERT_TRUE(log_.endsAt(DeviceLinkState::failed(
        LinkFailure::noAnswer,
        "ADB handshake failed: the phone did not finish the output of a shell command")));
}

TEST_F(DeviceLinkTest, FourQuickLossesInARowEndInFailure) {
    auto device = usb_.attach(phoneA, trustingPhone());
    link().start();
    std::size_t index = 1;
    for (int loss = 1; loss <= 3; ++loss) {
        ASSERT_TRUE(log_.reaches(connected, index++)) << loss;
        device->phone()->adb().dropLink();
        ASSERT_TRUE(log_.reaches(noDevice, index++)) << loss;
    }
    ASSERT_TRUE(log_.reaches(connected, index++));
    device->phone()->adb().dropLink();
    // The drop may land before the link has checked the new connection: then it is a failure
    // during setup.
    ASSERT_TRUE(eventually([&] { return log_.states().size() > index; }));
    const std::vector<DeviceLinkState> states = log_.states();
    const auto* failed = std::get_if<DeviceLinkState::Failed>(&states[index].value);
    ASSERT_NE(failed, nullptr);
    const DeviceLinkState::Failed lost{"ADB connection lost: notFound", LinkFailure::unplugged};
    const DeviceLinkState::Failed lostEarly{"ADB connection lost: transport failed during setup",
                                            LinkFailure::connectionUnstable};
    EXPECT_TRUE(*failed == lost || *failed == lostEarly) << failed->reason;
    EXPECT_EQ(device->openCount(), 4u);
    EXPECT_EQ(link_->connection(), nullptr);
}

TEST_F(DeviceLinkTest, ConnectionsThatLastedStartTheCountAfresh) {
    DeviceLinkOptions options;
    options.stableUptime = 0ns;  // every connection has lasted long enough
    auto device = usb_.attach(phoneA, trustingPhone());
    link(options).start();
    std::size_t index = 1;
    for (int loss = 1; loss <= 5; ++loss) {
        ASSERT_TRUE(log_.reaches(connected, index++)) << loss;
        device->phone()->adb().dropLink();
        ASSERT_TRUE(log_.reaches(noDevice, index++)) << loss;
    }
    ASSERT_TRUE(log_.reaches(connected, index));
}

TEST_F(DeviceLinkTest, ASecondPhoneIsIgnoredUntilAttachedAgain) {
    usb_.attach(phoneA, trustingPhone());
    link().start();
    ASSERT_TRUE(log_.reaches(connected, 1));
    auto second = usb_.attach(phoneB, trustingPhone());
    // Events are handled in order: once the first phone's detach is heard, so was the attach.
    usb_.detach(phoneA.interfaceID);
    ASSERT_TRUE(log_.reaches(noDevice, 2));
    EXPECT_EQ(second->openCount(), 0u);

    usb_.detach(phoneB.interfaceID);
    second = usb_.attach(phoneB, trustingPhone());
    ASSERT_TRUE(log_.reaches(connected, 3));
    EXPECT_EQ(second->openCount(), 1u);
}

TEST_F(DeviceLinkTest, ABusyRetryOfAStoppedLinkPublishesNothing) {
    clock_.parkAt(0);
    auto device = usb_.attach(phoneA, trustingPhone());
    device->holdElsewhere(true);
    DeviceLink& l = link();
    l.start();
    ASSERT_TRUE(log_.reaches(DeviceLinkState::busy(), 1));
    l.stop();
    device->holdElsewhere(false);  // a retry would now succeed
    link_.reset();                 // joins the attempt
    EXPECT_THAT(log_.states(), ElementsAre(noDevice, DeviceLinkState::busy(), noDevice));
    // An open already under way when the stop came is let go unused.
    EXPECT_TRUE(device->openCount() == 0 || device->port()->isAborted());
}

TEST_F(DeviceLinkTest, ALateApprovalOfADetachedPhonePublishesNothing) {
    FakeUsbDevice::Options slow;
    slow.adb.approval = Approval::onSignal;
    auto device = usb_.attach(phoneA, slow);
    link().start();
    ASSERT_TRUE(log_.reaches(DeviceLinkState::unauthorized(phoneA), 1));
    auto phone = device->phone();
    usb_.detach(phoneA.interfaceID);
    ASSERT_TRUE(log_.endsAt(noDevice));
    const std::size_t count = log_.states().size();
    phone->adb().approvePendingKey();  // too late: that session is gone
    link_.reset();                     // joins the attempt
    EXPECT_EQ(log_.states().size(), count);
}

TEST_F(DeviceLinkTest, StopClosesTheConnectionAndStartWatchesAfresh) {
    auto device = usb_.attach(phoneA, trustingPhone());
    DeviceLink& l = link();
    l.start();
    l.start();
    ASSERT_TRUE(log_.reaches(connected, 1));
    EXPECT_EQ(usb_.watchesStarted(), 1u);
    l.stop();
    EXPECT_EQ(log_.last(), noDevice);
    EXPECT_EQ(l.connection(), nullptr);
    EXPECT_TRUE(device->port()->isAborted());
    usb_.attach(phoneB, trustingPhone());  // unheard: nothing watches
    EXPECT_EQ(log_.states().size(), 3u);

    l.start();
    EXPECT_TRUE(
        eventually([&] { return usb_.watchesStarted() == 2u && log_.last() == connected; }));
}

TEST_F(DeviceLinkTest, StopWhileConnectingLeavesNothingRunning) {
    FakeUsbDevice::Options options;
    options.adb.approval = Approval::never;
    auto device = usb_.attach(phoneA, options);
    DeviceLink& l = link();
    l.start();
    ASSERT_TRUE(log_.reaches(DeviceLinkState::unauthorized(phoneA), 1));
    l.stop();
    EXPECT_TRUE(device->port()->isAborted());
    link_.reset();
    EXPECT_EQ(log_.last(), noDevice);
}

TEST_F(DeviceLinkTest, StopLeavesAnAttemptThatIsStillOpeningTheDeviceBehind) {
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::atomic<bool> opening = false;
    DeviceLinkOptions options;
    options.openTransport = [&, open = usb_.opener()](const UsbAdbDevice& device) {
        opening = true;
        opened.wait();  // as inside libusb_open
        return open(device);
    };
    auto device = usb_.attach(phoneA, trustingPhone());
    DeviceLink& l = link(options);
    l.start();
    ASSERT_TRUE(eventually([&] { return opening.load(); }));
    auto stopping = std::async(std::launch::async, [&] { l.stop(); });
    EXPECT_EQ(stopping.wait_for(5s), std::future_status::ready);  // bounded: a bug must not hang
    gate.set_value();
    stopping.get();
    link_.reset();  // joins the attempt, which found itself stale
    EXPECT_THAT(log_.states(), ElementsAre(noDevice));
    EXPECT_TRUE(device->port()->isAborted());
}

TEST_F(DeviceLinkTest, ADroppedSubscriptionWaitsForItsHandlerAndHearsNoMore) {
    DeviceLink& l = link();
    SerialQueue observer("observer");
    std::promise<void> entered;
    std::promise<void> gate;
    std::atomic<int> calls = 0;
    auto subscription = l.states(observer, [&](const DeviceLinkState&) {
        if (calls++ == 0) {
            entered.set_value();
            gate.get_future().wait();
        }
    });
    entered.get_future().wait();
    auto dropped = std::async(std::launch::async, [&] { subscription.reset(); });
    // The handler under way holds the drop back; nothing after the drop reaches it.
    EXPECT_EQ(dropped.wait_for(20ms), std::future_status::timeout);
    gate.set_value();
    dropped.get();
    auto device = usb_.attach(phoneA, trustingPhone());
    l.start();
    ASSERT_TRUE(log_.endsAt(connected));
    observer.sync([] {});
    EXPECT_EQ(calls.load(), 1);
}

// A phone as the kernel lists it: its strings readable by anyone, its device node maybe not.
FakeUsbBus::Device pixelAt(std::uint8_t address, bool readable = true,
                           std::uint8_t adbInterface = 1) {
    const UsbAdbDevice identity{UsbInterfaceID::make(1, address, 1, adbInterface), "1A2B",
                                "Pixel 8", "Google"};
    return {1,
            address,
            1,
            mtpAndAdb(adbInterface),
            {"1A2B", "Google", "Pixel 8"},
            readable,
            std::make_shared<FakeUsbDevice>(identity, trustingPhone())};
}

TEST_F(DeviceLinkTest, WithoutPermissionThePhoneIsNamedAndConnectsOnceReplugged) {
    bus_.plug(pixelAt(5));
    bus_.refuseOpens(1, 5, LIBUSB_ERROR_ACCESS);
    linkOverBus().start();
    const UsbAdbDevice named{UsbInterfaceID::make(1, 5, 1, 1), "1A2B", "Pixel 8", "Google"};
    ASSERT_TRUE(log_.reaches(DeviceLinkState::noPermission(named), 1));
    EXPECT_EQ(bus_.openAttempts(1, 5), 1u);  // nothing to gain by asking again

    // The rule is installed; the phone, plugged in again, comes back at a new address and
    // with its ADB interface moved (another USB mode).
    bus_.unplug(1, 5);
    ASSERT_TRUE(log_.reaches(noDevice, 2));
    bus_.plug(pixelAt(6, true, 2));
    ASSERT_TRUE(log_.reaches(connected, 3));
}

TEST_F(DeviceLinkTest, ABusyPhoneIsRetriedOnTheClockUntilTheOtherProgramLetsGo) {
    bus_.plug(pixelAt(5));
    bus_.refuseOpens(1, 5, LIBUSB_ERROR_BUSY);
    clock_.parkAt(0);
    linkOverBus().start();
    ASSERT_TRUE(log_.reaches(DeviceLinkState::busy(), 1));
    clock_.parkAt(std::uint64_t(std::chrono::nanoseconds(4s).count()));
    ASSERT_TRUE(eventually([&] { return clock_.parked() && bus_.openAttempts(1, 5) == 3; }));
    EXPECT_THAT(clock_.sleeps(), Each(2s));
    EXPECT_EQ(log_.states().size(), 2u);  // busy published once
    bus_.refuseOpens(1, 5, 0);
    clock_.parkAt(std::uint64_t(std::chrono::nanoseconds(6s).count()));
    ASSERT_TRUE(log_.reaches(connected, 2));
}

TEST_F(DeviceLinkTest, APhoneSwitchingModesConnectsOnceItCanBeRead) {
    bus_.plug(pixelAt(5, false));
    linkOverBus().start();
    ASSERT_TRUE(eventually([&] { return bus_.configurationReads(1, 5) == 1; }));
    bus_.setReadable(1, 5, true);
    bus_.runUntil(1s);
    ASSERT_TRUE(log_.reaches(connected, 1));
}

TEST_F(DeviceLinkTest, WithoutUsbTheLinkSaysSoUntilStopped) {
    bus_.makeUnavailable("/dev/bus/usb is missing");
    DeviceLink& l = linkOverBus();
    l.start();
    ASSERT_TRUE(log_.reaches(DeviceLinkState::noUsb("/dev/bus/usb is missing"), 1));
    l.stop();
    EXPECT_EQ(log_.last(), noDevice);
}

// No phone on this machine: the real USB path stays quiet.
TEST(DeviceLinkOnRealUsb, FindsNoPhoneAndReportsNoError) {
    if (realAdbInterfacePresent()) {
        GTEST_SKIP() << "a phone's ADB interface is attached; the real USB path leaves it alone";
    }
    const auto keyFile = std::filesystem::temp_directory_path() /
                         ("qm-real-usb-" + std::to_string(::getpid())) / "adbkey";
    InlineExecutor executor;
    StateLog log;
    {
        DeviceLink link(keyFile, "tester@desk");
        auto subscription = link.states(executor, log.handler());
        link.start();
        link.stop();  // after the watch's first scan, which start() began
    }
    // Without a USB bus (as in a container) the link says so, and only that.
    std::vector<DeviceLinkState> states = log.states();
    std::erase_if(states, [](const DeviceLinkState& state) {
        return std::holds_alternative<DeviceLinkState::NoUsb>(state.value);
    });
    EXPECT_THAT(states, Each(DeviceLinkState::noDevice()));
    std::filesystem::remove_all(keyFile.parent_path());
}

}  // namespace
}  // namespace qm::test
