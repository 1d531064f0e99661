#include "Telemetry/ThermalGuard.h"

namespace qm {

ThermalGuard::Advice ThermalGuard::update(int status) {
    if (status < threshold_) {
        warnedThisEpisode_ = false;
        return std::nullopt;
    }
    if (warnedThisEpisode_) {
        return std::nullopt;
    }
    warnedThisEpisode_ = true;
    return Warn{status};
}

}  // namespace qm
