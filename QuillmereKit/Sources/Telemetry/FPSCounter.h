#pragma once

#include <cstdint>
#include <vector>

namespace qm {

// The frames presented in the last second, the current one included.
class FPSCounter {
public:
    void tick(std::uint64_t atNanos);
    double fps() const { return static_cast<double>(ticks_.size()); }

private:
    std::vector<std::uint64_t> ticks_;
};

}  // namespace qm
