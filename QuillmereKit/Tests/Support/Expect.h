#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "QuillmereCore/Bytes.h"

namespace qm::test {

// The `Error` that `f` throws; the test fails (by the escaping exception) when it throws none.
template <typename Error, typename F>
Error thrown(F&& f) {
    try {
        std::forward<F>(f)();
    } catch (const Error& error) {
        return error;
    }
    throw std::logic_error("expected an exception, but none was thrown");
}

// `count` bytes counting up from `first` (wrapping), so a misplaced byte shows.
inline Bytes byteRun(std::size_t count, std::uint8_t first = 0) {
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<std::uint8_t>(first + i);
    }
    return out;
}

}  // namespace qm::test
