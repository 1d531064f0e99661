#pragma once

#include <optional>

namespace qm {

// Turns the phone's thermal status into at most one warning per overheating episode; an
// episode ends only when the status drops below the threshold. A value of its owner's thread.
class ThermalGuard {
public:
    struct Warn {
        int status = 0;
        bool operator==(const Warn&) const = default;
    };
    // A warning to show, or none.
    using Advice = std::optional<Warn>;

    explicit ThermalGuard(int threshold) : threshold_(threshold) {}

    Advice update(int status);

private:
    int threshold_;
    bool warnedThisEpisode_ = false;
};

}  // namespace qm
