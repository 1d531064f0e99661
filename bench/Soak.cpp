// Soak: the real device link and session stream from the fake phone on the fake USB bus (the
// 1080p60 clip looped at its frame rate, audio, control traffic both ways) for a given time,
// while faults drawn from a seeded generator hit every few seconds: the cable pulled and
// replugged, the server dying (also as it starts, the user having reopened the stream), the
// cable replugged during a restart, OKAYs withheld for a while, a slow video reader, a corrupt
// packet, the extension socket closed, a phone that refuses the key once. Only the app's own
// reconnection recovers; the soak acts only as the phone and its user would. Samples the
// process every second and prints, against the targets, how it held up; anything the phones
// saw the computer do against the protocol fails it.
//
//   soak [--seconds N] [--seed N]      (default 600 seconds, seed 1)
#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "BenchClip.h"
#include "BenchRun.h"
#include "DeviceLink/DeviceLink.h"
#include "NewLogLines.h"
#include "Percentile.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/ProcessMemory.h"
#include "QuillmereCore/SerialQueue.h"
#include "QuillmereKit/Session/Session.h"
#include "QuillmereKit/Tasks/QtExecutor.h"
#include "Support/FakeUsb.h"
#include "Support/MediaFixtures.h"
#include "Support/TestHost.h"
#include "VideoPipeline/VideoDecoderBackend.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Phase = qm::SessionPhase::Kind;

const std::string clipPath = QM_BENCH_CLIP;
// Beyond the policy's retry delays (0.5 + 1 + 2 s) and the link's recovery delay, a launch
// takes its own time; a fault not behind us after this long was not recovered from.
constexpr auto recoveryLimit = 10s;
// The policy gives up after more than three lost streams a minute: the soak stays within it.
constexpr std::size_t breaksPerMinute = 3;
constexpr auto stallTick = 10ms;
constexpr auto stallTarget = 50ms;

struct Arguments {
    std::chrono::seconds duration = 600s;
    std::uint64_t seed = 1;
};

Arguments parse(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::uint64_t value = std::strtoull(argv[i + 1], nullptr, 10);
        if (name == "--seconds") {
            arguments.duration = std::chrono::seconds(value);
        } else if (name == "--seed") {
            arguments.seed = value;
        } else {
            std::fprintf(stderr, "usage: soak [--seconds N] [--seed N]\n");
            std::exit(2);
        }
    }
    return arguments;
}

struct ProcessSample {
    long rssKiB = 0;
    long fds = 0;
};

// The process's threads by name, as the system shows them.
std::map<std::string, long> threadNames() {
    std::map<std::string, long> names;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        ++names[name];
    }
    return names;
}

ProcessSample sampleProcess() {
    ProcessSample sample;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> sample.rssKiB;
        }
        status.ignore(1 << 12, '\n');
    }
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++sample.fds;
    }
    return sample;
}

// The session's own software decoder, counting its pictures; while `slow` holds, each access
// unit takes longer than a frame lasts, as on a starved machine.
class CountingBackend final : public qm::VideoDecoderBackend {
public:
    CountingBackend(std::atomic<std::uint64_t>& pictures, std::atomic<bool>& slow)
        : inner_(qm::makeSoftwareDecoderBackend()), pictures_(pictures), slow_(slow) {}

    void createSession(const qm::FormatDescription& format) override {
        inner_->createSession(format);
    }
    void invalidateSession() noexcept override { inner_->invalidateSession(); }
    bool hasSession() const noexcept override { return inner_->hasSession(); }
    std::int32_t decode(std::span<const qm::ByteView> nalUnits, std::int64_t ptsMicros,
                        const PictureHandler& onPicture) override {
        if (slow_.load()) {
            std::this_thread::sleep_for(40ms);
        }
        return inner_->decode(nalUnits, ptsMicros, [&](qm::PixelBuffer&& picture) {
            pictures_.fetch_add(1);
            onPicture(std::move(picture));
        });
    }

private:
    const std::unique_ptr<qm::VideoDecoderBackend> inner_;
    std::atomic<std::uint64_t>& pictures_;
    std::atomic<bool>& slow_;
};

enum class Fault {
    cablePulled,
    serverDied,
    corruptPacket,
    keyRefusedOnce,
    killedAsItStarts,
    replugDuringRestart,
    okayWithheld,
    slowReader,
    extClosed,
};
constexpr std::size_t faultKinds = 9;
// The first six end the stream; the others must not.
constexpr std::size_t breakingKinds = 6;
const char* const faultNames[faultKinds] = {"cable pulled and replugged",
                                            "server died",
                                            "corrupt packet",
                                            "key refused once",
                                            "killed as it starts",
                                            "replugged in a restart",
                                            "OKAYs withheld",
                                            "slow video reader",
                                            "extension socket closed"};
// How long a fault waits for the launch it is to strike.
constexpr auto launchWait = 5s;

struct FaultRecord {
    std::size_t count = 0;
    std::size_t recovered = 0;
    Clock::duration longest{};
};

class Soak {
public:
    Soak(Arguments arguments, std::filesystem::path folder)
        : arguments_(arguments), random_(arguments.seed), folder_(std::move(folder)) {
        makeBenchClip(clipPath, "-b:v 8M");
        qm::test::writeTestHostKey(folder_ / "adbkey");
        qm::test::FakeServerScript script;
        script.refusedWhileStarting = 0;
        script.videoClips[qm::VideoCodec::h264] = std::make_shared<const qm::test::FakeVideoClip>(
            qm::test::loadFile(clipPath), qm::VideoCodec::h264, qm::VideoSize{1920, 1080}, 60);
        script.pacedVideo = true;
        script.loopVideo = true;
        script.pacedAudio = true;
        script.audioPackets = 50;
        script.loopAudio = true;
        phone_ = qm::test::trustingPhone();
        phone_.prepare = [trust = phone_.prepare, script](qm::test::FakePhone& fake) {
            trust(fake);
            fake.server().setScript(script);
        };
        // A phone whose user taps "Deny" on its first prompt.
        refusing_ = phone_;
        refusing_.adb.approval = qm::test::FakeAdbScript::Approval::refuse;
        refusing_.prepare = [script](qm::test::FakePhone& fake) {
            fake.server().setScript(script);
        };

        qm::DeviceLinkOptions linkOptions;
        linkOptions.events = usb_.events();
        linkOptions.openTransport = usb_.opener();
        link_.emplace(folder_ / "adbkey", "soak", linkOptions);
        qm::SessionEnvironment environment;
        environment.makeDecoderBackend = [this] {
            return std::make_unique<CountingBackend>(pictures_, slowReader_);
        };
        session_.emplace(*link_, qm::Bytes{'j', 'a', 'r'}, environment);
    }

    // Runs the event loop for the whole soak; returns whether every target was met.
    bool run() {
        QObject::connect(&*session_, &qm::RecordingSession::phaseChanged, &context_,
                         [this] { phaseChanged(); });
        // Keys reach the phone as key events in this mode: control traffic all the way.
        session_->input().setMode(qm::InputMode::keyboardMouse);
        states_ = link_->states(onMain_, [this](const qm::DeviceLinkState& state) {
            linkFailed_ = std::holds_alternative<qm::DeviceLinkState::Failed>(state.value);
            session_->deviceStateChanged(state);
            // The user starts streaming once the phone shows up.
            if (!userStarted_ &&
                std::holds_alternative<qm::DeviceLinkState::Connected>(state.value)) {
                userStarted_ = true;
                startStream();
            }
        });
        plugIn(phone_);
        link_->start();
        launched_ = Clock::now();
        lastTick_ = launched_;

        every(stallTick, [this] { heartbeat(); });
        every(100ms, [this] { drive(); });
        every(1s, [this] { sample(); });
        every(50ms, [this] { typeKey(); });
        every(1s, [this] {
            faults_.post([this] {
                if (const auto phone = device_ ? device_->phone() : nullptr) {
                    phone->server().sendDeviceMessage(qm::Clipboard{"soak"});
                }
            });
        });
        QCoreApplication::exec();
        if (failure_) {
            throw qm::bench::BenchFailure(failure_);
        }
        return report();
    }

private:
    template <typename Work>
    void every(std::chrono::milliseconds interval, Work work) {
        auto* timer = new QTimer(&context_);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, &context_, work);
        timer->start(interval);
    }

    // The GUI thread's own pulse: any lateness is time it spent on something else.
    void heartbeat() {
        const Clock::time_point now = Clock::now();
        longestStall_ = std::max(longestStall_, now - lastTick_ - stallTick);
        if (now - lastTick_ - stallTick > stallTarget) {
            qm::Log::session().warn(
                "soak: GUI thread stalled {:.1f} ms",
                std::chrono::duration<double, std::milli>(now - lastTick_ - stallTick).count());
        }
        lastTick_ = now;
    }

    void typeKey() {
        session_->input().handle(qm::KeyDownEvent{0, {}, false});
        session_->input().handle(qm::KeyUpEvent{0, {}});
    }

    void phaseChanged() {
        const bool streaming = session_->phase().kind() == Phase::streaming;
        if (streaming && !streaming_) {
            ++streamsStarted_;
            picturesAtStart_ = pictures_.load();
        }
        streaming_ = streaming;
    }

    // Faults are the phone's and its user's doing, so they happen off the GUI thread.
    void plugIn(const qm::test::FakeUsbDevice::Options& options) {
        faults_.post([this, options] {
            device_ = usb_.attach(identity_, options);
            attached_ = true;
        });
    }
    void unplug() {
        faults_.post([this] { pullCable(); });
    }
    // The fault thread's own.
    void pullCable() {
        attached_ = false;
        if (device_) {
            usb_.detach(device_->identity().interfaceID);
            keepViolations(*device_);
            device_.reset();
        }
    }
    void keepViolations(const qm::test::FakeUsbDevice& device) {
        const std::vector<std::string> found = device.violations();
        std::lock_guard lock(violationsMutex_);
        for (const std::string& violation : found) {
            ++violations_[violation];
        }
    }
    // The user's `act` on the GUI thread, then the phone's `strike` on the fault thread as soon
    // as the launch that followed has started the server: a fault midway through a launch.
    template <typename Act, typename Strike>
    void duringNextLaunch(Act act, Strike strike) {
        faults_.post([this, act, strike] {
            const auto phone = device_ ? device_->phone() : nullptr;
            const std::size_t before = phone ? phone->server().startCommands().size() : 0;
            QMetaObject::invokeMethod(&context_, act);
            const Clock::time_point deadline = Clock::now() + launchWait;
            while (phone && phone->server().startCommands().size() == before &&
                   Clock::now() < deadline) {
                std::this_thread::sleep_for(1ms);
            }
            strike();
        });
    }
    template <typename Action>
    void onPhone(Action action) {
        faults_.post([this, action] {
            if (const auto phone = device_ ? device_->phone() : nullptr) {
                action(*phone);
            }
        });
    }

    void drive() {
        const Clock::time_point now = Clock::now();
        const Clock::duration step = now - lastDrive_.value_or(now);
        lastDrive_ = now;
        if (attached_) {
            attachedTime_ += step;
            if (streaming_) {
                streamingTime_ += step;
            }
        }
        // The soak's time runs from the first stream: the policy keeps alive only what streamed.
        if (!started_) {
            if (streaming_) {
                started_ = now;
                nextFault_ = now + 10s;
            } else if (now - launched_ > 60s) {
                failure_ = "the first stream never started";
                QCoreApplication::quit();
            }
            return;
        }
        if (now - *started_ >= arguments_.duration) {
            finish();
            return;
        }
        switch (state_) {
            case State::calm:
                if (now >= nextFault_) {
                    startFault(now);
                }
                return;
            case State::faulting:
                if (now >= faultEnds_ || (fault_ == Fault::keyRefusedOnce && linkFailed_)) {
                    endFault(now);
                }
                return;
            case State::recovering:
                // A first launch is never retried by the app: its user presses Try Again.
                if (fault_ == Fault::killedAsItStarts &&
                    session_->phase().kind() == Phase::failed) {
                    startStream();
                }
                // Frames of a stream that started after the fault, for a fault that ends one.
                if (streaming_ && pictures_.load() > std::max(picturesAtEnd_, picturesAtStart_) &&
                    (static_cast<std::size_t>(fault_) >= breakingKinds ||
                     streamsStarted_ > streamsBeforeFault_)) {
                    FaultRecord& record = records_[static_cast<std::size_t>(fault_)];
                    ++record.recovered;
                    record.longest = std::max(record.longest, now - faultEnded_);
                    calmDown(now);
                } else if (now - faultEnded_ > recoveryLimit) {
                    std::fprintf(stderr, "soak: not recovered from \"%s\" within %lld s\n",
                                 faultNames[static_cast<std::size_t>(fault_)],
                                 static_cast<long long>(recoveryLimit / 1s));
                    // As the user would: start again from a failed or idle session.
                    if (!streaming_ && session_->phase().kind() != Phase::waitingForDevice &&
                        session_->phase().kind() != Phase::starting) {
                        ++userRestarts_;
                        startStream();
                    }
                    calmDown(now);
                }
                return;
        }
    }

    static qm::ServerOptions streamOptions() {
        qm::ServerOptions options(qm::ServerOptions::randomScid());
        options.maxSize = 1920;
        return options;
    }
    void startStream() { session_->start(std::nullopt, streamOptions()); }

    void calmDown(Clock::time_point now) {
        state_ = State::calm;
        nextFault_ = now + std::chrono::milliseconds(uniform(3000, 8000));
    }

    std::int64_t uniform(std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random_);
    }

    void startFault(Clock::time_point now) {
        std::erase_if(breaks_, [&](Clock::time_point at) { return now - at >= 60s; });
        auto kind = static_cast<std::size_t>(uniform(0, faultKinds - 1));
        if (kind < breakingKinds && breaks_.size() >= breaksPerMinute) {
            kind = static_cast<std::size_t>(uniform(breakingKinds, faultKinds - 1));
        }
        if (kind < breakingKinds) {
            breaks_.push_back(now);
        }
        fault_ = static_cast<Fault>(kind);
        ++records_[kind].count;
        streamsBeforeFault_ = streamsStarted_;
        state_ = State::faulting;
        faultEnds_ = now;
        switch (fault_) {
            case Fault::cablePulled:
                unplug();
                faultEnds_ = now + std::chrono::milliseconds(uniform(1000, 3000));
                return;
            case Fault::serverDied:
                onPhone([](qm::test::FakePhone& phone) { phone.server().die("Aborted\n"); });
                return;
            case Fault::corruptPacket:
                onPhone([](qm::test::FakePhone& phone) {
                    phone.adb().sendGarbage(qm::Bytes(qm::AdbHeader::byteCount, 0xEE));
                });
                return;
            case Fault::keyRefusedOnce:
                linkFailed_ = false;
                unplug();
                plugIn(refusing_);
                faultEnds_ = now + 10s;
                return;
            case Fault::killedAsItStarts:
                // The user closes the game and opens it again: a first launch, which the
                // phone's server does not survive.
                duringNextLaunch(
                    [this] {
                        session_->stop().then(
                            [this](const qm::TaskOutcome<void>&) { startStream(); });
                    },
                    [this] {
                        if (const auto phone = device_ ? device_->phone() : nullptr) {
                            phone->server().die("Killed\n");
                        }
                    });
                return;
            case Fault::replugDuringRestart:
                // The user picks another quality, and the cable comes out as it relaunches.
                duringNextLaunch([this] { session_->restartStream(streamOptions()); },
                                 [this] { pullCable(); });
                faultEnds_ = now + std::chrono::milliseconds(uniform(1000, 3000));
                return;
            case Fault::okayWithheld:
                onPhone([](qm::test::FakePhone& phone) { phone.adb().withholdOkays(); });
                faultEnds_ = now + std::chrono::milliseconds(uniform(2000, 5000));
                return;
            case Fault::slowReader:
                slowReader_ = true;
                faultEnds_ = now + std::chrono::milliseconds(uniform(3000, 6000));
                return;
            case Fault::extClosed:
                onPhone([](qm::test::FakePhone& phone) { phone.server().closeExt(); });
                return;
        }
    }

    void endFault(Clock::time_point now) {
        switch (fault_) {
            case Fault::cablePulled:
            case Fault::replugDuringRestart:
                plugIn(phone_);
                break;
            case Fault::keyRefusedOnce:
                // The user plugs in again and allows this computer.
                unplug();
                plugIn(phone_);
                break;
            case Fault::okayWithheld:
                onPhone([](qm::test::FakePhone& phone) { phone.adb().releaseWithheldOkays(); });
                break;
            case Fault::slowReader:
                slowReader_ = false;
                break;
            case Fault::serverDied:
            case Fault::corruptPacket:
            case Fault::killedAsItStarts:
            case Fault::extClosed:
                break;
        }
        state_ = State::recovering;
        faultEnded_ = now;
        picturesAtEnd_ = pictures_.load();
    }

    void sample() {
        if (!started_) {
            return;
        }
        const ProcessSample sample = sampleProcess();
        const auto elapsed = Clock::now() - *started_;
        const std::map<std::string, long> threads = threadNames();
        if (elapsed < 60s) {
            firstMinute_.push_back(sample);
            for (const auto& [name, count] : threads) {
                threadBounds_[name] = std::max(threadBounds_[name], count);
            }
        }
        lastMinute_.push_back(sample);
        lastMinuteThreads_.push_back(threads);
        if (lastMinute_.size() > 60) {
            lastMinute_.erase(lastMinute_.begin());
            lastMinuteThreads_.erase(lastMinuteThreads_.begin());
        }
        for (const qm::LogEntry& entry : logLines_.take(qm::Log::recentEntries())) {
            if (entry.level >= spdlog::level::err) {
                ++errorLines_[entry.category + ": " + entry.message.substr(0, 72)];
            }
        }
    }

    void finish() {
        if (finishing_) {
            return;
        }
        finishing_ = true;
        session_->stop().then([this](const qm::TaskOutcome<void>&) {
            faults_.sync([this] {
                if (device_) {
                    keepViolations(*device_);
                }
            });
            QCoreApplication::quit();
        });
    }

    // Threads come and go with what a stream has up (the extension channel's pair, a recovering
    // link's attempt), so each name counts from the most the first minute had of it: the bound it
    // grows to. A name the last minute never had fewer of than more than that keeps a thread each
    // time round: one left behind.
    void threadsWithin(bool& met) const {
        const auto countOf = [](const std::map<std::string, long>& threads,
                                const std::string& name) {
            const auto found = threads.find(name);
            return found == threads.end() ? 0L : found->second;
        };
        std::map<std::string, long> names = threadBounds_;
        std::vector<double> totals;
        for (const auto& threads : lastMinuteThreads_) {
            long total = 0;
            for (const auto& [name, count] : threads) {
                names.try_emplace(name, 0);
                total += count;
            }
            totals.push_back(static_cast<double>(total));
        }
        long bound = 0;
        for (const auto& [name, most] : threadBounds_) {
            bound += most;
        }
        const double last = qm::bench::percentile(std::move(totals), 0.5);
        const bool within = last <= static_cast<double>(bound) * 1.05;
        met = met && within;
        std::printf("  %-16s first minute's bound %ld, last minute %.0f (%+.1f%%)%s\n", "threads",
                    bound, last, bound > 0 ? 100 * (last / static_cast<double>(bound) - 1) : 0.0,
                    within ? "" : "  OVER 5%");
        for (const auto& [name, most] : names) {
            long fewest = std::numeric_limits<long>::max();
            long lastMost = 0;
            for (const auto& threads : lastMinuteThreads_) {
                fewest = std::min(fewest, countOf(threads, name));
                lastMost = std::max(lastMost, countOf(threads, name));
            }
            const bool leftBehind = !lastMinuteThreads_.empty() && fewest > most;
            met = met && !leftBehind;
            std::printf("    %-16s bound %2ld, last minute %2ld to %2ld%s\n", name.c_str(), most,
                        lastMinuteThreads_.empty() ? 0 : fewest, lastMost,
                        leftBehind ? "  LEFT BEHIND" : "");
        }
    }

    bool report() {
        const auto seconds = [](Clock::duration d) {
            return std::chrono::duration<double>(d).count();
        };
        const auto figures = [](const std::vector<ProcessSample>& samples,
                                long ProcessSample::*field) {
            std::vector<double> values;
            for (const ProcessSample& sample : samples) {
                values.push_back(static_cast<double>(sample.*field));
            }
            return qm::bench::percentile(std::move(values), 0.5);
        };
        std::printf("soak: %.0f s, seed %llu\n",
                    seconds(Clock::now() - started_.value_or(launched_)),
                    static_cast<unsigned long long>(arguments_.seed));
        if (state_ != State::calm) {
            --records_[static_cast<std::size_t>(fault_)].count;  // cut short by the end
        }
        std::size_t faults = 0;
        std::size_t recovered = 0;
        for (std::size_t kind = 0; kind < faultKinds; ++kind) {
            const FaultRecord& record = records_[kind];
            faults += record.count;
            recovered += record.recovered;
            std::printf("  %-26s %4zu, recovered %4zu, longest %5.1f s\n", faultNames[kind],
                        record.count, record.recovered, seconds(record.longest));
        }
        std::printf("  streams started %zu; faults %zu, recovered %zu; user restarts %zu\n",
                    streamsStarted_, faults, recovered, userRestarts_);
        std::printf("  streaming %.1f%% of %.0f s with a phone attached\n",
                    100 * seconds(streamingTime_) / std::max(1.0, seconds(attachedTime_)),
                    seconds(attachedTime_));
        std::printf("  frames decoded %llu\n", static_cast<unsigned long long>(pictures_.load()));
        bool met = recovered == faults && userRestarts_ == 0;
        const auto flat = [&](const char* name, long ProcessSample::*field, const char* unit) {
            const double first = figures(firstMinute_, field);
            const double last = figures(lastMinute_, field);
            const bool within = last <= first * 1.05;
            met = met && within;
            std::printf("  %-16s first minute %9.0f %s, last %9.0f %s (%+.1f%%)%s\n", name, first,
                        unit, last, unit, first > 0 ? 100 * (last - first) / first : 0.0,
                        within ? "" : "  OVER 5%");
        };
        flat("resident memory", &ProcessSample::rssKiB, "KiB");
        flat("open descriptors", &ProcessSample::fds, "");
        threadsWithin(met);
        const double stallMillis = std::chrono::duration<double, std::milli>(longestStall_).count();
        met = met && longestStall_ <= stallTarget;
        std::printf("  longest GUI-thread stall %.1f ms (target: 50 ms)\n", stallMillis);
        {
            std::lock_guard lock(violationsMutex_);
            met = met && violations_.empty();
            std::printf("  protocol violations the phones saw: %zu kinds\n", violations_.size());
            for (const auto& [violation, count] : violations_) {
                std::printf("    %5zu x %s\n", count, violation.c_str());
            }
        }
        std::printf("  log error lines: %zu kinds\n", errorLines_.size());
        for (const auto& [line, count] : errorLines_) {
            std::printf("    %5zu x %s\n", count, line.c_str());
        }
        std::printf("  targets %s\n", met ? "met" : "MISSED");
        return met;
    }

    enum class State { calm, faulting, recovering };

    const Arguments arguments_;
    std::mt19937_64 random_;
    const std::filesystem::path folder_;
    const qm::UsbAdbDevice identity_{qm::UsbInterfaceID::make(1, 4, 1, 0), "QM0001", "QM One"};
    qm::test::FakeUsbDevice::Options phone_;
    qm::test::FakeUsbDevice::Options refusing_;
    qm::test::FakeUsb usb_;
    QObject context_;
    qm::QtExecutor onMain_{&context_};
    std::optional<qm::DeviceLink> link_;
    std::optional<qm::Session> session_;
    std::unique_ptr<qm::Subscription> states_;
    // The phone's side: the fault thread only.
    std::shared_ptr<qm::test::FakeUsbDevice> device_;
    qm::SerialQueue faults_{"soak.faults"};

    std::atomic<std::uint64_t> pictures_{0};
    std::atomic<bool> slowReader_{false};
    std::atomic<bool> attached_{false};
    bool linkFailed_ = false;
    bool streaming_ = false;
    bool finishing_ = false;
    bool userStarted_ = false;
    std::size_t streamsStarted_ = 0;
    std::size_t userRestarts_ = 0;

    Clock::time_point launched_;
    std::optional<Clock::time_point> started_;
    Clock::time_point lastTick_;
    std::optional<Clock::time_point> lastDrive_;
    Clock::duration longestStall_{};
    Clock::duration attachedTime_{};
    Clock::duration streamingTime_{};

    State state_ = State::calm;
    Clock::time_point nextFault_;
    Fault fault_ = Fault::cablePulled;
    Clock::time_point faultEnds_;
    Clock::time_point faultEnded_;
    std::uint64_t picturesAtEnd_ = 0;
    std::uint64_t picturesAtStart_ = 0;
    std::size_t streamsBeforeFault_ = 0;
    std::vector<Clock::time_point> breaks_;
    FaultRecord records_[faultKinds];

    std::vector<ProcessSample> firstMinute_;
    std::vector<ProcessSample> lastMinute_;
    // The most threads of each name any second of the first minute had.
    std::map<std::string, long> threadBounds_;
    std::vector<std::map<std::string, long>> lastMinuteThreads_;
    std::map<std::string, std::size_t> errorLines_;
    std::mutex violationsMutex_;
    std::map<std::string, std::size_t> violations_;  // over every plug-in, by the fault thread
    qm::bench::NewLogLines logLines_;
    const char* failure_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    qm::returnLargeBlocksToTheSystem();
    const Arguments arguments = parse(argc, argv);
    // No speaker here: SDL's own dummy output stands in for one.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QCoreApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    for (spdlog::logger* logger :
         {&qm::Log::adb(), &qm::Log::usb(), &qm::Log::server(), &qm::Log::video(),
          &qm::Log::audio(), &qm::Log::session(), &qm::Log::ext(), &qm::Log::input()}) {
        logger->set_level(spdlog::level::warn);
    }
    return qm::bench::guarded([&] {
        const qm::bench::TempFolder folder("qm-soak");
        Soak soak(arguments, folder.path());
        return soak.run() ? 0 : 1;
    });
}
