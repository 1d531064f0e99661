#pragma once

#include <memory>

#include "Support/FakeAdbDevice.h"
#include "Support/MemoryPacketTransport.h"

namespace qm::test {

// A phone on an in-memory cable, in layers: the link's device end, the ADB daemon on it, and
// (as they come) its services and the device server. The host talks to hostTransport().
class FakePhone {
public:
    explicit FakePhone(FakeAdbScript adb = {})
        : link_(MemoryPacketTransport::makePair()), adb_(link_.second, std::move(adb)) {}

    std::shared_ptr<MemoryPacketTransport> hostTransport() const { return link_.first; }
    FakeAdbDevice& adb() { return adb_; }

private:
    std::pair<std::shared_ptr<MemoryPacketTransport>, std::shared_ptr<MemoryPacketTransport>> link_;
    FakeAdbDevice adb_;
};

}  // namespace qm::test
