#include "Input/RawMouseHub.h"

#include <algorithm>

#include "Input/XInputRawMouseSource.h"

namespace qm {

RawMouseHub::~RawMouseHub() {
    if (sourceRunning_) {
        source_.deactivate();
    }
}

RawMouseHub& RawMouseHub::shared() {
    static XInputRawMouseSource source;
    static RawMouseHub hub(source);
    return hub;
}

int RawMouseHub::subscribe(RawMouseSource::Handler onDelta) {
    subscribers_.push_back({++nextID_, false, std::move(onDelta)});
    return nextID_;
}

void RawMouseHub::unsubscribe(int id) {
    std::erase_if(subscribers_, [id](const Subscriber& s) { return s.id == id; });
    refreshSource();
}

void RawMouseHub::setActive(bool active, int id) {
    const auto found = std::find_if(subscribers_.begin(), subscribers_.end(),
                                    [id](const Subscriber& s) { return s.id == id; });
    if (found == subscribers_.end() || found->isActive == active) {
        return;
    }
    found->isActive = active;
    refreshSource();
}

void RawMouseHub::refreshSource() {
    const bool wanted = std::any_of(subscribers_.begin(), subscribers_.end(),
                                    [](const Subscriber& s) { return s.isActive; });
    if (wanted && !sourceRunning_) {
        sourceRunning_ = true;
        // The hub outlives its source's activity: it deactivates the source before it goes.
        source_.activate([this](float dx, float dy) { deliver(dx, dy); });
    } else if (!wanted && sourceRunning_) {
        sourceRunning_ = false;
        source_.deactivate();
    }
}

void RawMouseHub::deliver(float dx, float dy) const {
    const auto last = std::find_if(subscribers_.rbegin(), subscribers_.rend(),
                                   [](const Subscriber& s) { return s.isActive; });
    if (last != subscribers_.rend()) {
        last->onDelta(dx, dy);
    }
}

}  // namespace qm
