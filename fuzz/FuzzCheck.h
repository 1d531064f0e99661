#pragma once

#include <cstdlib>

namespace qm::fuzz {

// A broken invariant is a finding: abort so libFuzzer keeps the input.
inline void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace qm::fuzz
