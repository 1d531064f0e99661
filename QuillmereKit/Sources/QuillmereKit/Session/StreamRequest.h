#pragma once

#include <optional>
#include <string>

#include "InputRouter/InputEvent.h"
#include "ServerProtocol/ServerOptions.h"

namespace qm {

// What it takes to start the same stream again.
struct StreamRequest {
    std::optional<std::string> package;  // the app started once the server is up; none: the screen
    ServerOptions options;
    InputMode mode;  // the input mode in force when the stream started

    bool operator==(const StreamRequest&) const = default;
};

}  // namespace qm
