#pragma once

#include <chrono>
#include <filesystem>
#include <memory>

#include "DeviceLink/AdbConnection.h"
#include "DeviceLink/AdbKey.h"
#include "Support/FakePhone.h"

namespace qm::test {

// One RSA-2048 host key per test program, made on first use.
std::shared_ptr<const AdbKey> testHostKey();
// Stores that key where AdbKey::loadOrCreate finds it, so that nothing waits for a new key.
void writeTestHostKey(const std::filesystem::path& file);

inline AdbConnectionTimings shortDrain() {
    return {.drainIdle = std::chrono::milliseconds(1)};
}

// A host connection to `phone` made with the test key; the drain is short, as the in-memory
// link holds no leftovers unless a test puts them there.
std::shared_ptr<AdbConnection> makeHost(FakePhone& phone,
                                        AdbConnection::TransportFailureHandler onFailure = {},
                                        AdbConnectionTimings timings = shortDrain());

// The same, connected to a phone that already trusts the key.
std::shared_ptr<AdbConnection> connectedHost(FakePhone& phone,
                                             AdbConnection::TransportFailureHandler onFailure = {},
                                             AdbConnectionTimings timings = shortDrain());

}  // namespace qm::test
