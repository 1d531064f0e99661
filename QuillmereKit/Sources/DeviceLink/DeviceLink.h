#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "DeviceLink/AdbConnection.h"
#include "DeviceLink/DeviceLinkState.h"
#include "DeviceLink/USB/UsbDeviceMonitor.h"
#include "QuillmereCore/Executor.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/SerialQueue.h"
#include "QuillmereCore/StatePublisher.h"
#include "QuillmereCore/TaskClock.h"

namespace qm {

using TransportOpener =
    std::function<std::shared_ptr<AdbPacketTransport>(const UsbAdbDevice& device)>;

struct DeviceLinkOptions {
    // Where attach and detach events come from; libusb by default.
    UsbEventSource events;
    // Opens a claimed phone's bulk interface; libusb by default. UsbError exclusiveAccess
    // means another program holds it, access that this user may not open it.
    TransportOpener openTransport;
    // Paces the busy retries and the recovery delay.
    TaskClock clock;
    std::chrono::nanoseconds busyRetryInterval = std::chrono::seconds(2);
    std::chrono::nanoseconds recoveryDelay = std::chrono::milliseconds(500);
    // A connection that lived this long before it broke starts the recovery count afresh.
    std::chrono::nanoseconds stableUptime = std::chrono::seconds(10);
    AdbConnectionTimings adb;
};

// Watches USB, claims the first phone, connects to it and keeps the connection for the
// streaming session, publishing the phone's state to every subscriber. Its state lives on its
// own "device.link" thread, so USB events and connection reports are handled in order; the
// blocking work of connecting runs on a "device.attempt" thread per attempt, and whatever an
// attempt finds is dropped once a newer one (or a teardown) has begun.
class DeviceLink {
public:
    using StateHandler = StatePublisher<DeviceLinkState>::Handler;

    // The host key lives in `keyFile` (made on first use); `hostName` names this computer in
    // the phone's approval prompt. Starts nothing.
    DeviceLink(std::filesystem::path keyFile, std::string hostName, DeviceLinkOptions options = {});
    // Stops, closes the connection and joins every thread.
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // `handler` hears, on `executor`, the current state and then every change, in order and
    // never the same state twice in a row. `executor` must outlive the subscription.
    [[nodiscard]] std::unique_ptr<Subscription> states(Executor& executor, StateHandler handler);

    // Begins consuming USB events; a second call while started does nothing.
    void start();
    // Stops consuming events, closes the connection and its transport, publishes noDevice, and
    // returns once all of that is done. An attempt still busy (making a key, opening the
    // device) is asked to stop and left to finish on its own thread; nothing it finds is used.
    void stop();

    // The live connection while the state is connected.
    std::shared_ptr<AdbConnection> connection() const;

private:
    struct Task {
        std::atomic<bool> finished{false};
        std::jthread thread;
    };
    struct Attempt {
        Attempt(UsbAdbDevice device_, std::int64_t generation_)
            : device(std::move(device_)), generation(generation_) {}

        UsbAdbDevice device;
        std::int64_t generation = 0;
        std::unique_ptr<Task> task;
        bool handshakeDone = false;
        int recoveries = 0;
        // A connection's age includes the time the computer slept.
        std::optional<ContinuousClock::time_point> connectedAt;
    };
    struct LiveTransport {
        std::int64_t generation = 0;
        std::shared_ptr<AdbPacketTransport> transport;
    };

    // On the link's thread.
    void handle(const UsbDeviceEvent& event);
    void awaitingApproval(const UsbAdbDevice& device, std::int64_t generation);
    void connected(std::int64_t generation, std::shared_ptr<AdbConnection> connection,
                   const DeviceInfo& info);
    void connectionLost(std::int64_t generation, const std::string& reason, LinkFailure cause);
    void dropConnection(AdbConnection& connection, std::int64_t generation);
    void teardown();
    void update(const DeviceLinkState& state);
    void startTask(Attempt& attempt, bool recovering);
    void retire(std::unique_ptr<Task> task);
    // The new generation; the live transport, taken, when `takeLive`.
    std::int64_t nextGeneration(std::shared_ptr<AdbPacketTransport>* takeLive = nullptr);
    std::shared_ptr<AdbConnection> takeConnection();

    // On an attempt's thread.
    void run(const UsbAdbDevice& device, std::int64_t generation, bool recovering,
             std::stop_token stop);
    void handshake(const UsbAdbDevice& device, std::shared_ptr<AdbPacketTransport> transport,
                   std::shared_ptr<const AdbKey> key, std::int64_t generation,
                   std::stop_token stop);
    void handshakeFailed(std::shared_ptr<AdbConnection> connection, std::int64_t generation,
                         std::stop_token stop, const std::exception_ptr& error);
    bool isCurrent(std::int64_t generation, std::stop_token stop) const;
    // False when the wait was cut short by a stop request.
    bool sleepFor(std::chrono::nanoseconds duration, const std::stop_token& stop) const;
    bool holdTransport(std::int64_t generation, std::shared_ptr<AdbPacketTransport> transport);
    void publishIfCurrent(std::int64_t generation, DeviceLinkState state);
    void onLink(std::function<void()> work);

    const std::filesystem::path keyFile_;
    const std::string hostName_;
    const DeviceLinkOptions options_;
    StatePublisher<DeviceLinkState> states_;

    // The link's thread only.
    bool running_ = false;
    std::unique_ptr<UsbEventSubscription> monitor_;
    std::optional<Attempt> attempt_;
    std::vector<std::unique_ptr<Task>> retired_;

    // Written on the link's thread under liveMutex_, read by attempts.
    mutable std::mutex liveMutex_;
    std::atomic<std::int64_t> generation_{0};
    std::optional<LiveTransport> liveTransport_;

    mutable std::mutex connectionMutex_;
    std::shared_ptr<AdbConnection> connection_;

    // Last: its thread runs work that uses everything above.
    std::shared_ptr<SerialQueue> queue_;
};

}  // namespace qm
