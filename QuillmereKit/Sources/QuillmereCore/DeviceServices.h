#pragma once

#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>

#include "QuillmereCore/ByteChannel.h"

namespace qm {

// What the server launcher needs of a connected phone.
class DeviceServices {
public:
    virtual ~DeviceServices() = default;

    // Stores `data` as a file at `path` on the phone with the permission bits `mode`.
    virtual void push(ByteView data, const std::string& path, std::uint32_t mode) = 0;

    // Opens a named device service (a shell command, a local socket) as a channel; gives up
    // with CancellationError once `stop` is requested.
    virtual std::shared_ptr<ByteChannel> openService(const std::string& name,
                                                     std::stop_token stop = {}) = 0;
};

}  // namespace qm
