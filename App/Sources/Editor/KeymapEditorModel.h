#pragma once

#include <QObject>
#include <cstddef>
#include <optional>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "InputRouter/InputEvent.h"
#include "InputRouter/KeymapProfile.h"
#include "QuillmereCore/UUID.h"
#include "QuillmereCore/VideoGeometry.h"

namespace qm {

// One keymap layout under edit: the profile, the selected action and an undo history. Every edit
// keeps positions, sizes, radii and sensitivities in range (a new action's coordinate that is not
// finite becomes 0.5; any other value that is not finite changes nothing) and records one undo
// entry exactly when it changes the profile. A value; GUI thread.
class KeymapEditorModel {
    Q_GADGET

public:
    // Which trigger of an action an assignment targets: a tap's one, or a stick direction.
    enum class TriggerSlot { tap, up, down, left, right };
    Q_ENUM(TriggerSlot)

    // What a captured input means: the trigger pressed, or a cancel (Esc) without one.
    struct CaptureResult {
        std::optional<Trigger> trigger;

        static CaptureResult cancel() { return {}; }
        bool operator==(const CaptureResult&) const = default;
    };

    // The largest radius and sensitivity are the codec's.
    static constexpr double minStickRadius = 0.02;
    static constexpr double newStickRadius = 0.07;
    static constexpr double minZoneSide = 0.05;
    static constexpr double minSensitivity = 0.1;
    static constexpr std::size_t undoLimit = 50;

    explicit KeymapEditorModel(KeymapProfile profile);

    const KeymapProfile& profile() const noexcept { return profile_; }
    const KeymapProfile& original() const noexcept { return original_; }
    const std::optional<UUID>& selection() const noexcept { return selection_; }
    void setSelection(std::optional<UUID> id) { selection_ = id; }

    bool canUndo() const noexcept { return !undoStack_.empty(); }
    bool isDirty() const { return profile_ != original_; }
    bool hasLook() const;
    const KeymapAction* action(const UUID& id) const;

    // Each adds at the end of the list and selects the new action.
    // Each add gives nothing once the layout holds as many actions as a file keeps.
    std::optional<UUID> addTap(Trigger trigger, PointF at);
    std::optional<UUID> addStick(PointF at);
    // Nothing when the profile has its one look zone already.
    std::optional<UUID> addLook();

    // A tap, a stick's centre, or a look zone's centre carrying the zone, kept inside the frame.
    void move(const UUID& id, PointF to);
    void setStickRadius(const UUID& id, double radius);
    void setLookZone(const UUID& id, RectF zone);
    void setSensitivity(const UUID& id, double value);
    // A tap's trigger or a stick direction's; any other pairing changes nothing.
    void assign(Trigger trigger, const UUID& id, TriggerSlot slot);
    void remove(const UUID& id);
    // The template's orientation and actions; the layout keeps its package and label setting.
    void applyTemplate(const KeymapProfile& templateProfile);
    void setShowLabels(bool show);
    void undo();

    // The trigger a captured input names, a cancel for Esc, or nothing for an input that names
    // none (a repeat, an Alt key, a release, motion).
    static std::optional<CaptureResult> captureResult(const InputEvent& event);

    bool operator==(const KeymapEditorModel&) const = default;

private:
    template <typename Change>
    void commit(Change change);
    template <typename Change>
    void update(const UUID& id, Change change);
    std::optional<UUID> append(KeymapAction::Kind kind);

    KeymapProfile profile_;
    std::optional<UUID> selection_;
    KeymapProfile original_;
    std::vector<KeymapProfile> undoStack_;  // oldest first
};

using TriggerSlot = KeymapEditorModel::TriggerSlot;

// Views name the trigger slots by scope: KeymapEditorModel.TriggerSlot.up.
namespace KeymapEditorModelForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(qm::KeymapEditorModel)
QML_NAMED_ELEMENT(KeymapEditorModel)
}  // namespace KeymapEditorModelForeign

}  // namespace qm
