// Input: a script of steps on both ends of one ADB connection, run against the real
// AdbConnection over the in-memory link. Phone steps send anything a phone could: handshakes of
// any version, payload size and banner, AUTH of any type and size, OKAY, WRTE and CLSE with any
// ids and sizes, other commands, raw garbage, the link dropped at any byte. Host steps open,
// write, read, close and drop streams, run a shell command or a push, and close the connection.
// Each run ends by dropping the link; then every call must have returned, every stream must
// read to its end and refuse writes. Memory must stay within what the receive high-water mark
// allows throughout, and the host must send only well-formed messages. A wait that does not end
// is reported by a watchdog with the step it hung in.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <list>
#include <mutex>
#include <set>
#include <thread>

#include <sanitizer/allocator_interface.h>

#include "DeviceLink/AdbConnection.h"
#include "FuzzCheck.h"
#include "QuillmereCore/Log.h"
#include "Support/MemoryPacketTransport.h"
#include "Support/TestHost.h"

namespace {

using namespace qm;
using Command = AdbMessage::Command;
using test::MemoryPacketTransport;

// Nothing here legitimately waits more than a few milliseconds; a loaded machine gets plenty.
constexpr auto hangLimit = std::chrono::seconds(10);
constexpr auto awaitLimit = std::chrono::milliseconds(20);
constexpr std::size_t maxWorkers = 32;
constexpr std::size_t handleCount = 8;
constexpr std::size_t maxHostWrite = 2 * AdbProtocolConstants::maxPayload + 1;
// Room for everything but the streams' buffers: the script's own buffers, workers' writes, the
// link's buffers, messages in flight.
constexpr std::size_t memorySlack = 24 * 1024 * 1024;

// Aborts, naming the step, when a wait that must end does not end in time.
class Watchdog {
public:
    Watchdog() : thread_([this](std::stop_token stop) { watch(stop); }) {}

    void arm(std::size_t step, const char* what) {
        std::lock_guard lock(mutex_);
        step_ = step;
        what_ = what;
        deadline_ = std::chrono::steady_clock::now() + hangLimit;
        armed_ = true;
    }
    void disarm() {
        std::lock_guard lock(mutex_);
        armed_ = false;
    }

private:
    void watch(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        while (!stop.stop_requested()) {
            wake_.wait_for(lock, stop, std::chrono::milliseconds(100), [] { return false; });
            if (armed_ && std::chrono::steady_clock::now() > deadline_) {
                std::fprintf(stderr, "hang in step %zu: %s\n", step_, what_);
                std::abort();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable_any wake_;
    bool armed_ = false;
    std::size_t step_ = 0;
    const char* what_ = "";
    std::chrono::steady_clock::time_point deadline_;
    std::jthread thread_;
};

Watchdog& watchdog() {
    static Watchdog dog;
    return dog;
}

// The script's bytes; reading past the end gives zeros.
class Script {
public:
    explicit Script(ByteView bytes) : bytes_(bytes) {}

    bool atEnd() const { return offset_ >= bytes_.size(); }
    std::uint8_t byte() { return atEnd() ? 0 : bytes_[offset_++]; }
    std::uint32_t u16() {
        const std::uint32_t low = byte();
        return low | static_cast<std::uint32_t>(byte()) << 8;
    }
    std::uint32_t u32() {
        const std::uint32_t low = u16();
        return low | u16() << 16;
    }
    ByteView take(std::size_t count) {
        const ByteView taken = bytes_.subspan(offset_, std::min(count, bytes_.size() - offset_));
        offset_ += taken.size();
        return taken;
    }

private:
    ByteView bytes_;
    std::size_t offset_ = 0;
};

enum Step : std::uint8_t {
    phoneConnect,
    phoneAuth,
    phoneOkay,
    phoneWrite,
    phoneClose,
    phoneOther,
    phoneGarbage,
    phoneDrop,
    phoneAwait,
    hostOpen,
    hostWrite,
    hostRead,
    hostClose,
    hostDrop,
    hostShell,
    hostPush,
    hostCloseConnection,
    stepCount
};

const char* const stepNames[stepCount] = {"phone CNXN",
                                          "phone AUTH",
                                          "phone OKAY",
                                          "phone WRTE",
                                          "phone CLSE",
                                          "phone other",
                                          "phone garbage",
                                          "phone drops the link",
                                          "phone awaits the host",
                                          "host open",
                                          "host write",
                                          "host read",
                                          "host close",
                                          "host drop",
                                          "host shell",
                                          "host push",
                                          "host closes the connection"};

const char* const shellCommands[] = {
    "getprop", "echo hi",
    "CLASSPATH=/data/local/tmp/quillmere-server.jar app_process / com.tressik.quillmere.Server"};

const char* const services[] = {"shell:echo hi",
                                "sync:",
                                "localabstract:quillmere_0000abcd",
                                "localabstract:quillmere_ext_0000abcd",
                                "tcp:5555",
                                ""};

// One run of a script.
class Run {
public:
    explicit Run(ByteView input) : script_(input) {
        auto [host, device] = MemoryPacketTransport::makePair();
        device_ = device;
        AdbConnectionTimings timings;
        timings.drainIdle = std::chrono::nanoseconds(0);
        connection_ = AdbConnection::create(host, test::testHostKey(), "fuzz@host", {}, timings);
        inbox_ = std::thread([this] { readHostMessages(); });
        spawn([this] { connect(); });
    }

    void play() {
        // The phone speaks only once the host has: what came before would be drained.
        watchdog().arm(0, "host CNXN");
        waitFor([&] { return hostConnectSent_ || connectDone_; });
        while (!script_.atEnd()) {
            ++step_;
            const auto step = static_cast<Step>(script_.byte() % stepCount);
            watchdog().arm(step_, stepNames[step]);
            perform(step);
        }
        finish();
        watchdog().disarm();
    }

private:
    void perform(Step step) {
        switch (step) {
            case phoneConnect:
                sendConnect();
                return;
            case phoneAuth: {
                const std::uint32_t type = script_.byte();
                send(AdbMessage(Command::auth, type, 0, Bytes(script_.byte(), 0x11)));
                return;
            }
            case phoneOkay:
            case phoneClose: {
                const std::uint32_t remote = remoteID();
                const std::uint32_t local = localID();
                send(AdbMessage(step == phoneOkay ? Command::okay : Command::clse, remote, local));
                return;
            }
            case phoneWrite:
                sendWrite();
                return;
            case phoneOther:
                sendOther();
                return;
            case phoneGarbage: {
                const ByteView bytes = script_.take(script_.byte());
                phoneSends([&] { device_->writeRaw(bytes); });
                return;
            }
            case phoneDrop:
                dropLink();
                return;
            case phoneAwait:
                awaitHost();
                return;
            case hostOpen:
            case hostShell:
            case hostPush:
                openFromHost(step);
                return;
            case hostWrite: {
                const std::shared_ptr<AdbStream> stream = handle(script_.byte());
                const std::size_t size = std::min<std::size_t>(hostSize(), maxHostWrite);
                if (stream) {
                    spawn([stream, size] { stream->write(Bytes(size, 0x5A)); });
                }
                return;
            }
            case hostRead: {
                const std::shared_ptr<AdbStream> stream = handle(script_.byte());
                const std::size_t count = script_.u16();
                if (stream) {
                    spawn([stream, count] { stream->readExactly(count); });
                }
                return;
            }
            case hostClose:
                if (const std::shared_ptr<AdbStream> stream = handle(script_.byte())) {
                    stream->close();
                }
                return;
            case hostDrop: {
                std::shared_ptr<AdbStream> dropped;
                std::lock_guard lock(mutex_);
                std::swap(dropped, handles_[script_.byte() % handleCount]);
                return;
            }
            case hostCloseConnection:
                connection_->close();
                return;
            case stepCount:
                return;
        }
    }

    // Phone steps.

    template <typename Action>
    void phoneSends(Action action) {
        if (linkDropped_) {
            return;
        }
        try {
            action();
        } catch (const ProgramError&) {
            return;  // the host is gone
        }
        device_->awaitTaken();
    }

    void send(const AdbMessage& message) {
        phoneSends([&] { device_->write(message); });
    }

    void sendConnect() {
        static constexpr std::uint32_t versions[] = {AdbProtocolConstants::version, 0x01000000, 0};
        static constexpr std::uint32_t payloads[] = {4096, 0x40000, 0x100000, 0, 1};
        const std::uint8_t version = script_.byte();
        const std::uint32_t arg0 =
            version < std::size(versions) ? versions[version] : script_.u32();
        const std::uint8_t payload = script_.byte();
        const std::uint32_t arg1 =
            payload < std::size(payloads) ? payloads[payload] : script_.u32();
        const ByteView banner = script_.take(script_.byte());
        send(AdbMessage(Command::cnxn, arg0, arg1, Bytes(banner.begin(), banner.end())));
        // The handshake ends with the first CNXN, well or badly.
        waitFor([&] { return connectDone_; });
    }

    // One WRTE, or a burst of them as from a phone that does not wait for its OKAYs.
    void sendWrite() {
        const std::uint32_t remote = remoteID();
        const std::uint32_t local = localID();
        const std::size_t copies = 1 + script_.byte() / 4;
        const std::uint8_t selector = script_.byte();
        AdbMessage message(Command::wrte, remote, local);
        if (selector < smallSizes) {
            // Small payloads come from the script, so seeds can hold real replies.
            const ByteView bytes = script_.take(selector);
            message.payload.assign(bytes.begin(), bytes.end());
        } else {
            message.payload.assign(largeSize(selector), 0xA5);
        }
        for (std::size_t copy = 0; copy < copies && !linkDropped_; ++copy) {
            send(message);
            std::lock_guard lock(mutex_);
            if (shellSlots_.contains(local)) {
                shellBytes_ += message.payload.size();
            }
        }
        checkMemory();
    }

    void sendOther() {
        static constexpr Command commands[] = {Command::cnxn, Command::auth, Command::open,
                                               Command::okay, Command::clse, Command::wrte,
                                               Command::stls};
        const std::uint8_t selector = script_.byte();
        const std::uint32_t command = selector < std::size(commands)
                                          ? static_cast<std::uint32_t>(commands[selector])
                                          : script_.u32();
        const std::uint32_t arg0 = script_.u32();
        const std::uint32_t arg1 = script_.u32();
        const ByteView payload = script_.take(script_.byte());
        // Formed as a phone forms a header, for any command word, known or not.
        const AdbMessage message(Command::okay, arg0, arg1, Bytes(payload.begin(), payload.end()));
        const auto header = message.encodedHeader();
        Bytes wire(header.begin(), header.end());
        const auto put = [&](std::size_t offset, std::uint32_t word) {
            Bytes encoded;
            LittleEndian::append(word, encoded);
            std::copy(encoded.begin(), encoded.end(), wire.begin() + std::ptrdiff_t(offset));
        };
        put(0, command);
        put(20, ~command);
        wire.insert(wire.end(), payload.begin(), payload.end());
        phoneSends([&] { device_->writeRaw(wire); });
    }

    void dropLink() {
        const std::uint8_t cut = script_.byte();
        if (linkDropped_) {
            return;
        }
        // Cut anywhere in a WRTE: in its header, in its payload or right after it.
        const AdbMessage message(Command::wrte, remoteID(0), localID(0), Bytes(32, 0x3C));
        const auto header = message.encodedHeader();
        Bytes wire(header.begin(), header.end());
        wire.insert(wire.end(), message.payload.begin(), message.payload.end());
        wire.resize(cut % (wire.size() + 1));
        try {
            device_->writeRaw(wire);
        } catch (const ProgramError&) {
        }
        device_->close();
        linkDropped_ = true;
    }

    // As a phone waits for the host's next message before it answers; a host that has nothing
    // to say is no fault, so this waits only briefly.
    void awaitHost() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, awaitLimit, [&] { return hostMessages_ > awaited_; });
        awaited_ = hostMessages_;
    }

    // Ids: most often those of a stream the host opened, else zero, unknown or any.
    static constexpr std::uint8_t smallSizes = 0xF0;
    std::uint32_t localID() { return localID(script_.byte()); }
    std::uint32_t remoteID() { return remoteID(script_.byte()); }
    std::uint32_t localID(std::uint8_t selector) {
        std::lock_guard lock(mutex_);
        return pickID(selector, [&](std::size_t slot) { return openedIDs_[slot]; });
    }
    std::uint32_t remoteID(std::uint8_t selector) {
        std::lock_guard lock(mutex_);
        return pickID(selector, [](std::size_t slot) { return phoneIDBase + std::uint32_t(slot); });
    }
    template <typename IDOfSlot>
    std::uint32_t pickID(std::uint8_t selector, IDOfSlot idOfSlot) {
        switch (selector) {
            case 0xFC:
                return 0;
            case 0xFD:
                return 0xFFFFFFFF;
            case 0xFE:
                return script_.u32();
            case 0xFF:
                return static_cast<std::uint32_t>(openedIDs_.size()) + 1;  // not yet used
            default:
                return openedIDs_.empty() ? selector : idOfSlot(selector % openedIDs_.size());
        }
    }

    std::size_t hostSize() {
        const std::uint8_t selector = script_.byte();
        return selector < smallSizes ? selector : largeSize(selector);
    }
    std::size_t largeSize(std::uint8_t selector) {
        const std::size_t negotiated = connection_->maxPayload();
        switch (selector - smallSizes) {
            case 0:
                return negotiated;
            case 1:
                return negotiated + 1;
            case 2:
                return AdbProtocolConstants::maxPayload + 1;
            case 3:
                return script_.u32() % (2 * AdbProtocolConstants::maxPayload + 2);
            default:
                return script_.u16();
        }
    }

    void checkMemory() {
        std::size_t slots = 0;
        std::size_t shellBytes = 0;
        {
            std::lock_guard lock(mutex_);
            slots = openedIDs_.size();
            shellBytes = shellBytes_;
        }
        // A stream holds back a phone that is far ahead of its reader: beyond the mark it keeps
        // at most the payload that crossed it and one in dispatch. Shell output is read whole.
        const std::size_t bound = baseline_ + memorySlack + shellBytes +
                                  slots * (AdbConnection::receiveHighWater +
                                           2 * std::size_t{AdbProtocolConstants::maxPayload});
        const std::size_t held = __sanitizer_get_current_allocated_bytes();
        if (held > bound) {
            std::fprintf(stderr, "step %zu: %zu bytes allocated, more than %zu for %zu streams\n",
                         step_, held, bound, slots);
            std::abort();
        }
    }

    // Host steps.

    void connect() {
        try {
            connection_->connect({});
            negotiated_.store(connection_->maxPayload());
        } catch (const ProgramError&) {
            connection_->close();  // as the owner does
        }
        std::lock_guard lock(mutex_);
        connectDone_ = true;
        changed_.notify_all();
    }

    void openFromHost(Step step) {
        const std::uint8_t selector = script_.byte();
        std::size_t opened = 0;
        {
            std::lock_guard lock(mutex_);
            opened = openedIDs_.size();
        }
        Worker* worker = nullptr;
        if (step == hostShell) {
            worker = spawn([this, selector] {
                connection_->shell(shellCommands[selector % std::size(shellCommands)]);
            });
        } else if (step == hostPush) {
            worker = spawn([this, size = std::min<std::size_t>(hostSize(), maxHostWrite)] {
                connection_->push(Bytes(size, 0x7E), "/data/local/tmp/quillmere-server.jar", 0644,
                                  0);
            });
        } else {
            const std::string service = services[selector % std::size(services)];
            const std::size_t slot = nextHandle_++ % handleCount;
            worker = spawn([this, service, slot] {
                std::shared_ptr<AdbStream> stream = connection_->open(service);
                std::shared_ptr<AdbStream> replaced;
                std::lock_guard lock(mutex_);
                replaced = std::exchange(handles_[slot], std::move(stream));
            });
        }
        // The OPEN is on the wire before the next step, so the phone can answer it.
        if (worker) {
            waitFor([&] { return openedIDs_.size() > opened || worker->done; });
        }
        std::lock_guard lock(mutex_);
        awaited_ = hostMessages_;
    }

    std::shared_ptr<AdbStream> handle(std::uint8_t selector) {
        std::lock_guard lock(mutex_);
        return handles_[selector % handleCount];
    }

    struct Worker {
        std::thread thread;
        bool done = false;
    };

    // Runs a blocking host call on a thread of its own; a typed failure is an answer like any.
    template <typename Call>
    Worker* spawn(Call call) {
        std::lock_guard lock(mutex_);
        if (workers_.size() >= maxWorkers) {
            return nullptr;
        }
        Worker& worker = workers_.emplace_back();
        worker.thread = std::thread([this, &worker, call] {
            try {
                call();
            } catch (const ProgramError&) {
            } catch (const CancellationError&) {
            } catch (const std::exception& error) {
                std::fprintf(stderr, "untyped failure: %s\n", error.what());
                std::abort();
            }
            std::lock_guard done(mutex_);
            worker.done = true;
            changed_.notify_all();
        });
        return &worker;
    }

    // After the link drops every call returns, and every stream reads to its end and refuses
    // writes, whatever state the script left it in.
    void finish() {
        watchdog().arm(step_, "host calls return once the link dropped");
        if (!linkDropped_) {
            device_->close();
            linkDropped_ = true;
        }
        for (Worker& worker : workers_) {
            worker.thread.join();
        }
        watchdog().arm(step_, "streams end once the link dropped");
        for (std::shared_ptr<AdbStream>& stream : handles_) {
            if (!stream) {
                continue;
            }
            try {
                stream->readToEnd();
            } catch (const ByteIOError&) {
            }
            bool refused = false;
            try {
                stream->write(Bytes(1, 0));
            } catch (const ByteIOError&) {
                refused = true;
            }
            fuzz::check(refused);
            stream.reset();
        }
        watchdog().arm(step_, "the connection ends");
        connection_.reset();
        inbox_.join();
    }

    template <typename Condition>
    void waitFor(Condition condition) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, condition);
    }

    // The phone's reader: what the host sends must be well formed, within the negotiated size,
    // and nothing may follow the host's CLSE of a stream.
    void readHostMessages() {
        std::set<std::uint32_t> closed;
        while (true) {
            AdbMessage message;
            try {
                message = device_->read();
            } catch (const ByteIOError&) {
                return;
            } catch (const AdbError& error) {
                fuzz::check(error.kind() == AdbErrorKind::closed);
                return;
            }
            std::lock_guard lock(mutex_);
            ++hostMessages_;
            switch (message.command) {
                case Command::cnxn:
                    hostConnectSent_ = true;
                    break;
                case Command::open:
                    openedIDs_.push_back(message.arg0);
                    if (asText(message.payload).starts_with("shell:")) {
                        shellSlots_.insert(message.arg0);
                    }
                    break;
                case Command::wrte:
                    fuzz::check(message.payload.size() <= negotiated_.load());
                    [[fallthrough]];
                case Command::okay:
                    fuzz::check(!closed.contains(message.arg0));
                    break;
                case Command::clse:
                    closed.insert(message.arg0);
                    break;
                case Command::auth:
                case Command::stls:
                    break;
            }
            changed_.notify_all();
        }
    }

    static constexpr std::uint32_t phoneIDBase = 0x100;

    Script script_;
    std::size_t step_ = 0;
    const std::size_t baseline_ = __sanitizer_get_current_allocated_bytes();
    std::shared_ptr<MemoryPacketTransport> device_;
    std::shared_ptr<AdbConnection> connection_;
    bool linkDropped_ = false;
    std::size_t nextHandle_ = 0;
    std::atomic<std::size_t> negotiated_{AdbProtocolConstants::maxPayload};

    std::mutex mutex_;
    std::condition_variable changed_;
    bool hostConnectSent_ = false;
    bool connectDone_ = false;
    std::vector<std::uint32_t> openedIDs_;  // the phone's view: streams in the order opened
    std::set<std::uint32_t> shellSlots_;
    std::size_t hostMessages_ = 0;
    std::size_t awaited_ = 0;
    std::size_t shellBytes_ = 0;
    std::shared_ptr<AdbStream> handles_[handleCount];
    std::list<Worker> workers_;
    std::thread inbox_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (spdlog::logger* logger : {&Log::adb()}) {
        logger->set_level(spdlog::level::off);
    }
    test::testHostKey();
    watchdog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Run run(ByteView(data, size));
    run.play();
    return 0;
}
