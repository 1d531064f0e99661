#include "InputRouter/ProfileTemplates.h"

#include <utility>

namespace qm {

namespace {

KeymapAction action(KeymapAction::Kind kind) {
    return KeymapAction{UUID::random(), std::move(kind)};
}

KeymapAction tap(Trigger trigger, double x, double y) {
    return action(KeymapAction::Tap{trigger, {x, y}});
}

// W, S, A and D, driven also by the left controller stick.
KeymapAction wasdStick(double x, double y, double radius) {
    return action(KeymapAction::Stick{Trigger::key(13),
                                      Trigger::key(1),
                                      Trigger::key(0),
                                      Trigger::key(2),
                                      StickSide::left,
                                      {x, y},
                                      radius});
}

}  // namespace

KeymapProfile ProfileTemplates::shooter(std::string packageName) {
    std::vector<KeymapAction> actions;
    actions.reserve(8);
    actions.push_back(wasdStick(0.15, 0.72, 0.07));
    // The right half of the picture.
    actions.push_back(
        action(KeymapAction::Look{{0.75, 0.45}, {0.5, 0, 0.5, 1.0}, 1.0, StickSide::right}));
    actions.push_back(tap(Trigger::mouseButton(0), 0.86, 0.62));
    actions.push_back(tap(Trigger::mouseButton(1), 0.93, 0.45));
    actions.push_back(tap(Trigger::key(49), 0.92, 0.80));  // Space
    actions.push_back(tap(Trigger::key(8), 0.85, 0.90));   // C
    actions.push_back(tap(Trigger::key(15), 0.78, 0.80));  // R
    actions.push_back(tap(Trigger::key(5), 0.70, 0.90));   // G
    return KeymapProfile(std::move(packageName), Orientation::landscape, std::move(actions));
}

KeymapProfile ProfileTemplates::moba(std::string packageName) {
    std::vector<KeymapAction> actions;
    actions.reserve(9);
    actions.push_back(wasdStick(0.14, 0.74, 0.08));
    actions.push_back(tap(Trigger::key(49), 0.89, 0.83));  // Space
    actions.push_back(tap(Trigger::key(12), 0.77, 0.90));  // Q
    actions.push_back(tap(Trigger::key(14), 0.78, 0.74));  // E
    actions.push_back(tap(Trigger::key(15), 0.85, 0.64));  // R
    actions.push_back(tap(Trigger::key(3), 0.94, 0.62));   // F
    actions.push_back(tap(Trigger::key(18), 0.66, 0.91));  // 1
    actions.push_back(tap(Trigger::key(19), 0.70, 0.80));  // 2
    actions.push_back(tap(Trigger::key(11), 0.57, 0.92));  // B
    return KeymapProfile(std::move(packageName), Orientation::landscape, std::move(actions));
}

}  // namespace qm
