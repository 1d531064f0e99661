#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "QuillmereCore/Bytes.h"

namespace qm {

// Cuts the device server's output into the lines the session logs: one at each line feed (a
// carriage return stays in it), and, for a line that never ends, a piece each time it reaches
// the limit, cut before a UTF-8 character that would not fit whole. A value; one reader.
class ServerLogLines {
public:
    // A server that prints without line feeds must not grow the buffer without end.
    static constexpr std::size_t maxLineBytes = 16384;

    // A line to log, decoded with U+FFFD for ill-formed UTF-8, once `byte` completes one.
    std::optional<std::string> push(std::uint8_t byte);

private:
    Bytes line_;
};

}  // namespace qm
