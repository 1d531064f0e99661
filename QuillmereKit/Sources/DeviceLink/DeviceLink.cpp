#include "DeviceLink/DeviceLink.h"

#include <mutex>

#include <fmt/format.h>
#include <pthread.h>

#include "DeviceLink/USB/UsbAdbTransport.h"
#include "DeviceLink/USB/UsbError.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/TaskClock.h"

namespace qm {

namespace {

std::string describe(const DeviceLinkState& state) {
    return std::visit(
        [&](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, DeviceLinkState::Unauthorized>) {
                return fmt::format("unauthorized({}, {})", value.device.serial,
                                   value.device.productName);
            } else if constexpr (std::is_same_v<T, DeviceLinkState::Connected>) {
                return fmt::format("connected({} {} {}, Android {}, sdk {})", value.info.serial,
                                   value.info.manufacturer, value.info.model,
                                   value.info.androidRelease, value.info.sdk);
            } else if constexpr (std::is_same_v<T, DeviceLinkState::Failed>) {
                return fmt::format("failed({})", value.reason);
            } else if constexpr (std::is_same_v<T, DeviceLinkState::NoPermission>) {
                return fmt::format("noPermission({}, {})", value.device.serial,
                                   value.device.productName);
            } else if constexpr (std::is_same_v<T, DeviceLinkState::NoUsb>) {
                return fmt::format("noUsb({})", value.reason);
            } else {
                return std::string(state.caseName());
            }
        },
        state.value);
}

// What a person is told of an error that ended connecting or a connection.
LinkFailure causeOf(const std::exception_ptr& error, LinkFailure otherwise) {
    try {
        std::rethrow_exception(error);
    } catch (const UsbError& e) {
        if (e.kind() == UsbErrorKind::notFound) {
            return LinkFailure::unplugged;
        }
    } catch (const AdbError& e) {
        if (e.kind() == AdbErrorKind::authRejected) {
            return LinkFailure::refused;
        }
        if (e.kind() == AdbErrorKind::timedOut) {
            return LinkFailure::noAnswer;
        }
    } catch (...) {
    }
    return otherwise;
}

DeviceLinkOptions withDefaults(DeviceLinkOptions options) {
    if (!options.events) {
        options.events = UsbDeviceMonitor::source();
    }
    if (!options.openTransport) {
        options.openTransport = [](const UsbAdbDevice& device) {
            return std::shared_ptr<AdbPacketTransport>(UsbAdbTransport::open(device));
        };
    }
    return options;
}

}  // namespace

DeviceLink::DeviceLink(std::filesystem::path keyFile, std::string hostName,
                       DeviceLinkOptions options)
    : keyFile_(std::move(keyFile)),
      hostName_(std::move(hostName)),
      options_(withDefaults(std::move(options))),
      queue_(std::make_shared<SerialQueue>("device.link")) {}

DeviceLink::~DeviceLink() {
    std::vector<std::unique_ptr<Task>> tasks;
    queue_->sync([&] {
        running_ = false;
        monitor_.reset();
        teardown();
        tasks = std::exchange(retired_, {});
    });
    queue_->shutdown();
    tasks.clear();  // joins: every transport is closed and every task asked to stop
}

std::unique_ptr<Subscription> DeviceLink::states(Executor& executor, StateHandler handler) {
    return states_.subscribe(executor, std::move(handler));
}

void DeviceLink::start() {
    onLink([this] {
        if (monitor_) {
            return;
        }
        running_ = true;
        std::weak_ptr<SerialQueue> queue = queue_;
        monitor_ = options_.events([this, queue](const UsbDeviceEvent& event) {
            if (auto q = queue.lock()) {
                q->post([this, event] { handle(event); });
            }
        });
    });
}

void DeviceLink::stop() {
    queue_->sync([&] {
        running_ = false;
        monitor_.reset();
        teardown();
        update(DeviceLinkState::noDevice());
    });
}

std::shared_ptr<AdbConnection> DeviceLink::connection() const {
    std::lock_guard lock(connectionMutex_);
    return connection_;
}

void DeviceLink::onLink(std::function<void()> work) {
    queue_->post(std::move(work));
}

// MARK: on the link's thread

void DeviceLink::handle(const UsbDeviceEvent& event) {
    if (!running_) {
        return;
    }
    if (const auto* unavailable = std::get_if<UsbDeviceEvent::Unavailable>(&event.value)) {
        update(DeviceLinkState::noUsb(unavailable->reason));
        return;
    }
    if (const auto* attached = std::get_if<UsbDeviceEvent::Attached>(&event.value)) {
        if (attempt_) {
            Log::adb().info("ignoring second ADB device {}",
                            Log::privateValue(attached->device.serial));
            return;
        }
        attempt_.emplace(attached->device, nextGeneration());
        startTask(*attempt_, false);
        return;
    }
    const auto& detached = std::get<UsbDeviceEvent::Detached>(event.value);
    if (attempt_ && attempt_->device.interfaceID == detached.interfaceID) {
        teardown();
        update(DeviceLinkState::noDevice());
    }
}

void DeviceLink::awaitingApproval(const UsbAdbDevice& device, std::int64_t generation) {
    if (attempt_ && attempt_->generation == generation && !attempt_->handshakeDone) {
        update(DeviceLinkState::unauthorized(device));
    }
}

void DeviceLink::connected(std::int64_t generation, std::shared_ptr<AdbConnection> connection,
                           const DeviceInfo& info) {
    if (!attempt_ || attempt_->generation != generation) {
        connection->close();
        return;
    }
    {
        std::lock_guard lock(connectionMutex_);
        connection_ = connection;
    }
    attempt_->connectedAt = ContinuousClock::now();
    update(DeviceLinkState::connected(info));
    // A failure told before the connection was published was not yet a loss.
    if (connection->hasTransportFailed()) {
        connectionLost(generation, "transport failed during setup",
                       LinkFailure::connectionUnstable);
    }
}

void DeviceLink::connectionLost(std::int64_t generation, const std::string& reason,
                                LinkFailure cause) {
    if (!running_ || !attempt_ || attempt_->generation != generation || !connection()) {
        return;
    }
    const bool stable = attempt_->connectedAt &&
                        ContinuousClock::now() - *attempt_->connectedAt >= options_.stableUptime;
    const int count = stable ? 1 : attempt_->recoveries + 1;
    Log::adb().error("ADB connection lost ({}): {}", count, reason);

    std::shared_ptr<AdbPacketTransport> transport;
    const std::int64_t next = nextGeneration(&transport);
    const std::shared_ptr<AdbConnection> old = takeConnection();
    const UsbAdbDevice device = attempt_->device;
    retire(std::move(attempt_->task));
    attempt_.emplace(device, next);
    attempt_->handshakeDone = true;
    attempt_->recoveries = count;
    if (count < 4) {
        update(DeviceLinkState::noDevice());
        startTask(*attempt_, true);
    } else {
        update(DeviceLinkState::failed(cause, "ADB connection lost: " + reason));
    }
    old->close();
    if (transport) {
        transport->close();
    }
}

void DeviceLink::dropConnection(AdbConnection& connection, std::int64_t generation) {
    {
        std::lock_guard lock(liveMutex_);
        if (liveTransport_ && liveTransport_->generation == generation) {
            liveTransport_.reset();
        }
    }
    connection.close();
}

void DeviceLink::teardown() {
    if (attempt_) {
        retire(std::move(attempt_->task));
        attempt_.reset();
    }
    std::shared_ptr<AdbPacketTransport> transport;
    nextGeneration(&transport);
    if (const std::shared_ptr<AdbConnection> connection = takeConnection()) {
        connection->close();
    }
    if (transport) {
        transport->close();
    }
}

void DeviceLink::update(const DeviceLinkState& state) {
    if (states_.publish(state)) {
        Log::adb().info("device link state: {} {}", state.caseName(),
                        Log::privateValue(describe(state)));
    }
}

std::int64_t DeviceLink::nextGeneration(std::shared_ptr<AdbPacketTransport>* takeLive) {
    std::lock_guard lock(liveMutex_);
    if (takeLive != nullptr && liveTransport_) {
        *takeLive = std::move(liveTransport_->transport);
        liveTransport_.reset();
    }
    return generation_.fetch_add(1) + 1;
}

std::shared_ptr<AdbConnection> DeviceLink::takeConnection() {
    std::lock_guard lock(connectionMutex_);
    return std::exchange(connection_, nullptr);
}

void DeviceLink::startTask(Attempt& attempt, bool recovering) {
    auto task = std::make_unique<Task>();
    task->thread = std::jthread([this, device = attempt.device, generation = attempt.generation,
                                 recovering, finished = &task->finished](std::stop_token stop) {
        pthread_setname_np(pthread_self(), "device.attempt");
        run(device, generation, recovering, stop);
        finished->store(true);
    });
    attempt.task = std::move(task);
}

void DeviceLink::retire(std::unique_ptr<Task> task) {
    std::erase_if(retired_, [](const auto& old) { return old->finished.load(); });
    if (task) {
        task->thread.request_stop();
        retired_.push_back(std::move(task));
    }
}

// MARK: on an attempt's thread

bool DeviceLink::isCurrent(std::int64_t generation, std::stop_token stop) const {
    return !stop.stop_requested() && generation_.load() == generation;
}

bool DeviceLink::sleepFor(std::chrono::nanoseconds duration, const std::stop_token& stop) const {
    options_.clock.sleep(duration, stop);
    return !stop.stop_requested();
}

void DeviceLink::publishIfCurrent(std::int64_t generation, DeviceLinkState state) {
    onLink([this, generation, state = std::move(state)] {
        if (generation_.load() == generation) {
            update(state);
        }
    });
}

bool DeviceLink::holdTransport(std::int64_t generation,
                               std::shared_ptr<AdbPacketTransport> transport) {
    {
        std::lock_guard lock(liveMutex_);
        if (generation_.load() == generation) {
            liveTransport_ = LiveTransport{generation, std::move(transport)};
            return true;
        }
    }
    transport->close();
    return false;
}

void DeviceLink::run(const UsbAdbDevice& device, std::int64_t generation, bool recovering,
                     std::stop_token stop) {
    if (recovering) {
        if (!sleepFor(options_.recoveryDelay, stop) || !isCurrent(generation, stop)) {
            return;
        }
        onLink([this, generation] {
            if (attempt_ && attempt_->generation == generation) {
                attempt_->handshakeDone = false;
            }
        });
    }
    std::shared_ptr<const AdbKey> key;
    try {
        key = std::make_shared<const AdbKey>(AdbKey::loadOrCreate(keyFile_));
    } catch (const std::exception& e) {
        publishIfCurrent(generation,
                         DeviceLinkState::failed(LinkFailure::keyUnavailable,
                                                 std::string("Cannot load ADB key: ") + e.what()));
        return;
    }
    while (isCurrent(generation, stop)) {
        std::shared_ptr<AdbPacketTransport> transport;
        try {
            transport = options_.openTransport(device);
        } catch (const UsbError& e) {
            if (e.kind() == UsbErrorKind::access) {
                publishIfCurrent(generation, DeviceLinkState::noPermission(device));
                return;
            }
            if (e.kind() != UsbErrorKind::exclusiveAccess) {
                publishIfCurrent(
                    generation,
                    DeviceLinkState::failed(LinkFailure::usbUnavailable,
                                            std::string("Cannot open USB interface: ") + e.what()));
                return;
            }
            publishIfCurrent(generation, DeviceLinkState::busy());
            if (!sleepFor(options_.busyRetryInterval, stop)) {
                return;
            }
            continue;
        } catch (const std::exception& e) {
            publishIfCurrent(
                generation,
                DeviceLinkState::failed(LinkFailure::usbUnavailable,
                                        std::string("Cannot open USB interface: ") + e.what()));
            return;
        }
        if (holdTransport(generation, transport)) {
            handshake(device, std::move(transport), std::move(key), generation, stop);
        }
        return;
    }
}

void DeviceLink::handshake(const UsbAdbDevice& device,
                           std::shared_ptr<AdbPacketTransport> transport,
                           std::shared_ptr<const AdbKey> key, std::int64_t generation,
                           std::stop_token stop) {
    // The connection may outlive the link: its reports reach the link only while the queue is.
    std::weak_ptr<SerialQueue> queue = queue_;
    auto onFailure = [this, queue, generation](std::exception_ptr error) {
        if (auto q = queue.lock()) {
            q->post([this, generation, reason = describe(error),
                     cause = causeOf(error, LinkFailure::connectionUnstable)] {
                connectionLost(generation, reason, cause);
            });
        }
    };
    const std::shared_ptr<AdbConnection> connection = AdbConnection::create(
        std::move(transport), std::move(key), hostName_, std::move(onFailure), options_.adb);
    try {
        connection->connect([this, device, generation] {
            onLink([this, device, generation] { awaitingApproval(device, generation); });
        });
    } catch (...) {
        handshakeFailed(connection, generation, stop, std::current_exception());
        return;
    }
    if (!isCurrent(generation, stop)) {
        connection->close();
        return;
    }
    onLink([this, generation] {
        if (attempt_ && attempt_->generation == generation) {
            attempt_->handshakeDone = true;
        }
    });
    DeviceInfo info;
    try {
        info = DeviceInfoQuery::parse(connection->shell(std::string(DeviceInfoQuery::command)));
    } catch (...) {
        handshakeFailed(connection, generation, stop, std::current_exception());
        return;
    }
    if (!isCurrent(generation, stop)) {
        connection->close();
        return;
    }
    if (!info.isSupported()) {
        onLink([this, generation, connection] {
            dropConnection(*connection, generation);
            if (attempt_ && attempt_->generation == generation) {
                update(DeviceLinkState::failed(LinkFailure::androidTooOld, "Android 11+ required"));
            }
        });
        return;
    }
    onLink([this, generation, connection, info] { connected(generation, connection, info); });
}

void DeviceLink::handshakeFailed(std::shared_ptr<AdbConnection> connection, std::int64_t generation,
                                 std::stop_token stop, const std::exception_ptr& error) {
    if (!isCurrent(generation, stop)) {
        connection->close();
        return;
    }
    onLink([this, generation, connection, description = describe(error),
            cause = causeOf(error, LinkFailure::handshakeFailed)] {
        if (!attempt_ || attempt_->generation != generation) {
            connection->close();
            return;
        }
        attempt_->handshakeDone = true;
        dropConnection(*connection, generation);
        update(DeviceLinkState::failed(cause, "ADB handshake failed: " + description));
    });
}

}  // namespace qm
