#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "InputRouter/InputEvent.h"
#include "InputRouter/KeymapEngine.h"
#include "InputRouter/KeymapProfile.h"
#include "InputRouter/MessageList.h"
#include "QuillmereCore/VideoGeometry.h"

namespace qm {

// Holds one game's keymap layouts and plays the active one through its engine, in place. A
// layout's own switch trigger, pressed during play, switches to it: the press acts in the old
// layout first, then the old touches lift and the new layout's held taps and sticks go down,
// the switching trigger excluded. Every operation appends the messages to send, in order, to
// `out`. Used from one thread (the router's); only `setLayouts` allocates.
class KeymapLayoutSwitcher {
public:
    KeymapLayoutSwitcher() = default;
    // The engine points into `layouts_`.
    KeymapLayoutSwitcher(const KeymapLayoutSwitcher&) = delete;
    KeymapLayoutSwitcher& operator=(const KeymapLayoutSwitcher&) = delete;

    // Plays `active` (layout 0 when out of range) with nothing held; no layouts play nothing.
    // When two layouts share a switch trigger, the lower index keeps it.
    void setLayouts(std::vector<KeymapLayout> layouts, std::size_t active, MessageList& out);
    // False, appending nothing, when `index` is out of range or already active.
    bool select(std::size_t index, MessageList& out);
    // Back to layout 0 with nothing held; nothing when it is active already.
    void activateMain(MessageList& out);
    void handle(const InputEvent& event, MessageList& out);

    void setGeometry(const VideoGeometry& geometry, MessageList& out) {
        engine_.setGeometry(geometry, out);
    }
    void tick(std::uint64_t now, MessageList& out) { engine_.tick(now, out); }
    void releaseAll(MessageList& out) { engine_.releaseAll(out); }
    bool wantsCursorCapture() const noexcept { return engine_.wantsCursorCapture(); }
    bool playsLook() const noexcept { return engine_.playsLook(); }

    std::size_t activeIndex() const noexcept { return activeIndex_; }
    std::span<const KeymapLayout> layouts() const noexcept { return layouts_; }

private:
    struct SwitchTarget {
        Trigger trigger;
        std::size_t index;
    };

    // Presses only, judged by the state before the event.
    std::optional<SwitchTarget> switchTarget(const InputEvent& event) const noexcept;
    std::optional<SwitchTarget> target(Trigger trigger) const noexcept;
    void switchTo(std::size_t index, std::optional<Trigger> excluding, MessageList& out);

    KeymapEngine engine_;
    std::vector<KeymapLayout> layouts_;
    std::size_t activeIndex_ = 0;
    std::vector<SwitchTarget> switchTargets_;
};

}  // namespace qm
