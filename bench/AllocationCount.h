#pragma once

#include <cstdint>

namespace qm::bench {

// Heap allocations made so far by the program; a benchmark linking AllocationCount.cpp replaces
// the global operator new to count them.
std::uint64_t allocationCount() noexcept;

}  // namespace qm::bench
