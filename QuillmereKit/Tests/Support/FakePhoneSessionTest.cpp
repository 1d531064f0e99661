#include "Support/FakePhoneSessionTest.h"

#include <QThread>
#include <string>
#include <utility>

#include <unistd.h>

#include <gmock/gmock.h>

#include "AudioPipeline/AudioPlayer.h"
#include "AudioPipeline/SdlAudioDevice.h"
#include "Support/TestHost.h"

namespace qm::test {

using namespace std::chrono_literals;

namespace {

class WatchedPlayer final : public AudioOutput {
public:
    explicit WatchedPlayer(std::shared_ptr<PlayerRecord> record)
        : record_(std::move(record)), player_(48000, 2, 40, std::make_unique<SdlAudioDevice>()) {}

    void start() override { player_.start(); }
    void enqueue(const StreamPacket& packet) override {
        ++record_->packets;
        player_.enqueue(packet);
    }
    void stop() override {
        ++record_->stops;
        record_->stopsOnGuiThread += QThread::currentThread() == qApp->thread() ? 1 : 0;
        player_.stop();
    }
    bool isMuted() const override { return player_.isMuted(); }
    void setMuted(bool muted) override {
        record_->muted = muted;
        player_.setMuted(muted);
    }

private:
    std::shared_ptr<PlayerRecord> record_;
    AudioPlayer player_;
};

}  // namespace

const UsbAdbDevice FakePhoneSessionTest::phoneA{UsbInterfaceID::make(1, 4, 1, 0), "QM0001",
                                                "QM One"};

void FakePhoneSessionTest::SetUp() {
    folder_ = std::filesystem::temp_directory_path() /
              ("qm-session-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    writeTestHostKey(folder_ / "adbkey");
    script_.refusedWhileStarting = 0;
}

void FakePhoneSessionTest::TearDown() {
    if (session_) {
        settle(session_->stop());
        session_.reset();
    }
    subscription_.reset();
    link_.reset();
    for (const auto& device : devices_) {
        EXPECT_THAT(device->violations(), ::testing::IsEmpty());
    }
    std::filesystem::remove_all(folder_);
}

void FakePhoneSessionTest::attachPhone() {
    FakeUsbDevice::Options options = trustingPhone();
    options.prepare = [this, trust = options.prepare](FakePhone& phone) {
        trust(phone);
        phone.server().setScript(script_);
    };
    devices_.push_back(usb_.attach(phoneA, std::move(options)));
}

Session& FakePhoneSessionTest::connect(SessionEnvironment environment) {
    attachPhone();
    DeviceLinkOptions options;
    options.events = usb_.events();
    options.openTransport = usb_.opener();
    options.recoveryDelay = 5ms;
    options.adb.drainIdle = 1ms;
    link_ = std::make_unique<DeviceLink>(folder_ / "adbkey", "tester@desk", options);
    if (!environment.timers) {
        environment.timers = timers_;
        environment.now = [timers = timers_] { return SessionEnvironment::Instant(timers->now()); };
    }
    if (!environment.renderQueue) {
        environment.renderQueue = frames_;
    }
    if (environment.extHandshakeTimeout == SessionEnvironment{}.extHandshakeTimeout) {
        environment.extHandshakeTimeout = 30s;
    }
    if (!environment.makeAudioOutput) {
        environment.makeAudioOutput = [this] {
            players_.push_back(std::make_shared<PlayerRecord>());
            return std::make_unique<WatchedPlayer>(players_.back());
        };
    }
    session_ = std::make_unique<Session>(*link_, Bytes{'j', 'a', 'r'}, std::move(environment));
    subscription_ = link_->states(states_, [this](const DeviceLinkState& state) {
        connected_ = std::holds_alternative<DeviceLinkState::Connected>(state.value);
        if (session_) {
            session_->deviceStateChanged(state);
        }
    });
    link_->start();
    EXPECT_TRUE(until([&] { return connected_; }));
    return *session_;
}

bool FakePhoneSessionTest::streams() {
    return until([&] { return session_->phase() == SessionPhase::streaming(); });
}

bool FakePhoneSessionTest::framesArrive(std::size_t count) {
    const std::size_t from = frames_->count();
    return until([&] { return frames_->count() >= from + count; });
}

bool FakePhoneSessionTest::playsWithSound() {
    return until(
        [&] { return !players_.empty() && players_.back()->packets > 0 && frames_->count() > 0; });
}

}  // namespace qm::test
