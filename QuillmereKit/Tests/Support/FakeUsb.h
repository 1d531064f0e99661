#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "DeviceLink/DeviceLink.h"
#include "DeviceLink/USB/UsbDeviceMonitor.h"
#include "DeviceLink/USB/UsbInterface.h"
#include "Support/FakePhone.h"

namespace qm::test {

// One claim of a phone's ADB interface, over the bytes of an in-memory cable: bulk IN
// transfers take what the phone has sent (ending short, as USB transfers do, at the end of each
// of the phone's writes), bulk OUT transfers hand their bytes to the phone. It checks the
// host's framing (a payload that fills its last packet must be followed by an empty one, and
// only then) and takes scripted faults, among them a phone that stops taking data.
class FakeUsbPort {
public:
    struct Options {
        std::vector<UsbEndpointInfo> endpoints = {{0x81, true, true, 512},
                                                  {0x01, true, false, 512}};
        // IN transfers end short after this many bytes.
        std::size_t maxInTransfer = std::numeric_limits<std::size_t>::max();
        // Empty IN transfers before each one with data; the maximum means only empty ones.
        std::size_t emptyInTransfers = 0;
    };

    FakeUsbPort(std::shared_ptr<MemoryPacketTransport> cable, Options options);

    // The interface the transport owns; it forwards to the port and releases it when dropped.
    static std::unique_ptr<UsbInterface> interfaceOf(std::shared_ptr<FakeUsbPort> port);

    // The next transfer in that direction ends with `status` and moves nothing.
    void failNext(bool in, UsbTransferStatus status);
    // The next OUT transfer takes one byte less than it was given.
    void shortWriteNext();
    // From now on OUT transfers wait, as at a wedged phone, until let through, aborted, or
    // their time-out passes (then they end timedOut, having moved nothing).
    void holdOut();
    // Lets `count` more OUT transfers through a hold: a phone that takes its data slowly.
    void allowOut(std::size_t count);
    // OUT transfers waiting at the hold now.
    std::size_t heldOutTransfers() const;

    std::vector<std::size_t> outTransfers() const;
    std::size_t inTransfers() const;
    std::optional<std::chrono::milliseconds> lastInTimeout() const;
    std::vector<std::string> violations() const;
    bool isAborted() const;

    UsbTransferResult transfer(std::uint8_t endpoint, std::span<std::uint8_t> buffer,
                               std::chrono::milliseconds timeout);
    void abort() noexcept;
    const Options& options() const { return options_; }

private:
    UsbTransferResult receive(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout);
    UsbTransferResult send(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout);
    int outMaxPacketSize() const;

    const std::shared_ptr<MemoryPacketTransport> cable_;
    const Options options_;
    mutable std::mutex mutex_;
    std::condition_variable outGate_;
    bool aborted_ = false;
    std::optional<std::size_t> outAllowance_;  // none: OUT transfers are not held
    std::size_t heldOut_ = 0;
    std::deque<UsbTransferStatus> inFailures_;
    std::deque<UsbTransferStatus> outFailures_;
    bool shortWrite_ = false;
    // What the host's next OUT transfer must be: a message's header, the payload it announced,
    // or the zero-length packet that ends a payload filling its last packet.
    enum class OutNext { header, payload, empty } outNext_ = OutNext::header;
    std::size_t emptiesSent_ = 0;
    std::size_t inTransfers_ = 0;
    std::optional<std::chrono::milliseconds> lastInTimeout_;
    std::vector<std::size_t> outTransfers_;
    std::vector<std::string> violations_;
};

// A phone on the fake bus. Each claim of its interface starts a fresh ADB session on the phone
// (a new FakePhone), as a real phone's daemon does for a new host; only one claim at a time.
class FakeUsbDevice {
public:
    struct Options {
        FakeUsbPort::Options usb;
        FakeAdbScript adb;
        // Readies each new session, for example to trust the test key or script the shell.
        std::function<void(FakePhone&)> prepare;
    };

    FakeUsbDevice(UsbAdbDevice identity, Options options);

    const UsbAdbDevice& identity() const { return identity_; }

    // Throws UsbError: notFound once gone, exclusiveAccess while another claim holds it.
    std::unique_ptr<UsbInterface> open();
    // Another program holds the interface.
    void holdElsewhere(bool held);
    // The cable is pulled: the session ends and later opens fail.
    void vanish();

    std::size_t openCount() const;
    // Opens asked for, refused ones included.
    std::size_t openAttempts() const;
    std::shared_ptr<FakePhone> phone() const;  // the latest session
    std::shared_ptr<FakeUsbPort> port() const;
    // The framing and protocol violations of every session so far.
    std::vector<std::string> violations() const;

private:
    std::vector<std::string> violationsLocked() const;

    const UsbAdbDevice identity_;
    const Options options_;
    mutable std::mutex mutex_;
    bool gone_ = false;
    bool heldElsewhere_ = false;
    std::size_t openAttempts_ = 0;
    std::size_t openCount_ = 0;
    // The latest session; earlier ones leave only their violations.
    std::shared_ptr<FakePhone> phone_;
    std::shared_ptr<FakeUsbPort> port_;
    std::vector<std::string> pastViolations_;
};

// The bus: phones come and go at the test's word, watches hear of them like the libusb
// monitor's, and the opener claims them through the real bulk transport.
class FakeUsb {
public:
    FakeUsb() = default;
    FakeUsb(const FakeUsb&) = delete;
    FakeUsb& operator=(const FakeUsb&) = delete;

    std::shared_ptr<FakeUsbDevice> attach(UsbAdbDevice identity, FakeUsbDevice::Options options);
    // Pulls the cable and tells the watches.
    void detach(std::uint64_t interfaceID);

    UsbEventSource events();
    TransportOpener opener();
    std::size_t watchesStarted() const;

private:
    class Watch;
    void deliver(const UsbDeviceEvent& event);

    mutable std::mutex mutex_;
    std::recursive_mutex delivery_;  // one event at a time, in order
    std::map<std::uint64_t, std::shared_ptr<FakeUsbDevice>> devices_;
    std::map<std::uint64_t, UsbEventHandler> watches_;
    std::uint64_t nextWatch_ = 0;
    std::size_t watchesStarted_ = 0;
};

// A phone that trusts the test key and answers the shell as an Android 14 phone does.
FakeUsbDevice::Options trustingPhone(FakeUsbPort::Options usb = {});

// Whether a real phone's ADB interface is on this machine's bus; tests of the real USB path
// then stay away, so as never to open it or pop its authorisation prompt.
bool realAdbInterfacePresent();

}  // namespace qm::test
