#pragma once

#include <memory>

#include "Support/FakeAdbDevice.h"
#include "Support/FakeDeviceServer.h"
#include "Support/MemoryPacketTransport.h"

namespace qm::test {

// A phone on an in-memory cable, in layers: the link's device end, the ADB daemon on it, its
// services and the device server. The host talks to hostTransport().
class FakePhone {
public:
    explicit FakePhone(FakeAdbScript adb = {})
        : link_(MemoryPacketTransport::makePair()), adb_(link_.second, std::move(adb)) {
        server_.install(adb_, adb_.services());
        adb_.services().routeToServer(&server_);
    }
    ~FakePhone() { server_.stop(); }
    FakePhone(const FakePhone&) = delete;
    FakePhone& operator=(const FakePhone&) = delete;

    std::shared_ptr<MemoryPacketTransport> hostTransport() const { return link_.first; }
    FakeAdbDevice& adb() { return adb_; }
    FakeDeviceServer& server() { return server_; }

    // Everything the host did wrong, on every layer.
    std::vector<std::string> violations() const {
        std::vector<std::string> all = adb_.violations();
        const std::vector<std::string> server = server_.violations();
        all.insert(all.end(), server.begin(), server.end());
        return all;
    }

private:
    std::pair<std::shared_ptr<MemoryPacketTransport>, std::shared_ptr<MemoryPacketTransport>> link_;
    FakeDeviceServer server_;  // before the daemon, whose thread calls into it until it ends
    FakeAdbDevice adb_;
};

}  // namespace qm::test
