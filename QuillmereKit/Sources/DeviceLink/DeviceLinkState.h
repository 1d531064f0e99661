#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "DeviceLink/DeviceInfo.h"
#include "DeviceLink/USB/UsbAdbDevice.h"

namespace qm {

// Why a claimed phone cannot be used, as a closed set that a person's words are chosen from.
enum class LinkFailure {
    keyUnavailable,      // this computer's key could not be read or made
    usbUnavailable,      // the phone's USB interface would not open
    unplugged,           // the phone went away while it was being opened or used
    refused,             // the phone rejected this computer's key
    noAnswer,            // the phone did not answer in time while connecting
    handshakeFailed,     // connecting failed otherwise
    androidTooOld,       // the phone runs Android 10 or older
    connectionUnstable,  // the connection broke once too often in a row
};

// The phone's connection state as every observer of the device link sees it.
struct DeviceLinkState {
    // A phone waits for its user to allow this computer's key.
    struct Unauthorized {
        UsbAdbDevice device;
        bool operator==(const Unauthorized&) const = default;
    };
    // A supported phone is connected and its ADB connection is available.
    struct Connected {
        DeviceInfo info;
        bool operator==(const Connected&) const = default;
    };
    // The claimed phone cannot be used. The reason is the log's; a person is told the cause.
    struct Failed {
        std::string reason;
        LinkFailure cause = LinkFailure::handshakeFailed;
        bool operator==(const Failed&) const = default;
    };
    // No phone is claimed, or a lost connection is about to be re-established.
    struct NoDevice {
        bool operator==(const NoDevice&) const = default;
    };
    // Another program holds the phone's ADB interface; the link retries.
    struct Busy {
        bool operator==(const Busy&) const = default;
    };
    // This user may not open the phone's USB device (no udev rule yet). Final until the phone is
    // plugged in again.
    struct NoPermission {
        UsbAdbDevice device;
        bool operator==(const NoPermission&) const = default;
    };
    // USB cannot be used on this computer, so no phone can be found; the reason says why.
    struct NoUsb {
        std::string reason;
        bool operator==(const NoUsb&) const = default;
    };

    std::variant<Unauthorized, Connected, Failed, NoDevice, Busy, NoPermission, NoUsb> value =
        NoDevice{};

    static DeviceLinkState unauthorized(UsbAdbDevice device) { return {Unauthorized{device}}; }
    static DeviceLinkState connected(DeviceInfo info) { return {Connected{std::move(info)}}; }
    static DeviceLinkState failed(LinkFailure cause, std::string reason) {
        return {Failed{std::move(reason), cause}};
    }
    static DeviceLinkState noDevice() { return {NoDevice{}}; }
    static DeviceLinkState busy() { return {Busy{}}; }
    static DeviceLinkState noPermission(UsbAdbDevice device) {
        return {NoPermission{std::move(device)}};
    }
    static DeviceLinkState noUsb(std::string reason) { return {NoUsb{std::move(reason)}}; }

    // The case alone, for logs that must not show the payload.
    std::string_view caseName() const noexcept;

    bool operator==(const DeviceLinkState&) const = default;
};

}  // namespace qm
