#pragma once

#include <utility>
#include <variant>

#include "DeviceLink/DeviceInfo.h"
#include "DeviceLink/DeviceLinkState.h"
#include "QuillmereKit/Help/ConnectionNotice.h"

namespace qm {

// Which screen a change of the phone's connection leads to.
struct RouteDecision {
    struct Onboarding {
        ConnectionNotice notice;
        bool operator==(const Onboarding&) const = default;
    };
    struct Library {
        DeviceInfo device;
        bool operator==(const Library&) const = default;
    };
    // A stream is on screen: connection changes are the session's to handle.
    struct Stay {
        bool operator==(const Stay&) const = default;
    };

    static RouteDecision onboarding(ConnectionNotice notice) {
        return {Onboarding{std::move(notice)}};
    }
    static RouteDecision library(DeviceInfo device) { return {Library{std::move(device)}}; }
    static RouteDecision stay() { return {Stay{}}; }

    std::variant<Onboarding, Library, Stay> value;

    bool operator==(const RouteDecision&) const = default;
};

namespace RouteResolver {
// `isStreaming`: the screen shows a stream (of a phone or a capture device).
RouteDecision resolve(const DeviceLinkState& state, bool isStreaming);
}  // namespace RouteResolver

}  // namespace qm
