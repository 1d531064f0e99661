#pragma once

#include "ServerProtocol/ServerOptions.h"

namespace qm {

// A lighter video size and frame-rate cap for a stream restart, as the thermal banner offers it.
struct StreamQuality {
    int maxSize = 0;  // longest side in pixels
    int maxFps = 0;   // 0: the phone's own maximum

    // The options with this size and cap; every other field as it was.
    ServerOptions applied(ServerOptions options) const {
        options.maxSize = maxSize;
        options.maxFps = maxFps;
        return options;
    }

    bool operator==(const StreamQuality&) const = default;
};

}  // namespace qm
