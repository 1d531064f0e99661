#pragma once

#include <QString>
#include <cstdint>

#include "Editor/KeymapEditorModel.h"
#include "InputRouter/KeymapProfile.h"

// Actions at known places, for the tests of the editor's views and their arithmetic.
namespace qm::test {

inline KeymapAction tapAt(double x, double y, std::uint16_t key = 13) {
    return {UUID::random(), KeymapAction::Tap{Trigger::key(key), {x, y}}};
}

// W, S, A and D.
inline KeymapAction stickAt(double x, double y, double radius) {
    return {UUID::random(), KeymapAction::Stick{Trigger::key(13),
                                                Trigger::key(1),
                                                Trigger::key(0),
                                                Trigger::key(2),
                                                std::nullopt,
                                                {x, y},
                                                radius}};
}

inline KeymapAction lookOver(RectF zone) {
    return {UUID::random(),
            KeymapAction::Look{
                {zone.x + zone.width / 2, zone.y + zone.height / 2}, zone, 1.0, std::nullopt}};
}

inline KeymapLayout layoutOf(std::string name, std::vector<KeymapAction> actions = {}) {
    return {UUID::random(), std::move(name), std::nullopt,
            KeymapProfile("com.game", Orientation::landscape, std::move(actions))};
}

inline QString idOf(const KeymapAction& action) {
    return QString::fromStdString(action.id.uuidString());
}

inline int undoSteps(KeymapEditorModel model) {
    int steps = 0;
    for (; model.canUndo(); ++steps) {
        model.undo();
    }
    return steps;
}

}  // namespace qm::test
