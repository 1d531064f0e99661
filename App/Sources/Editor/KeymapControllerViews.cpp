// What the views read of the keymap controller: its lists and the open editor's fields.
#include <QString>
#include <array>
#include <string>
#include <utility>
#include <variant>

#include "EditorGeometry.h"
#include "KeymapController.h"
#include "TriggerLabel.h"

namespace qm {

namespace {

const QList<QByteArray> layoutRoles{"name", "edited", "switchKey"};
const QList<QByteArray> actionRoles{"actionId",  "kind",       "selected",    "x",
                                    "y",         "radius",     "zoneX",       "zoneY",
                                    "zoneWidth", "zoneHeight", "sensitivity", "label",
                                    "upLabel",   "downLabel",  "leftLabel",   "rightLabel"};

QString idText(const UUID& id) {
    return QString::fromStdString(id.uuidString());
}

RowListModel::Row actionRow(const KeymapAction& action, bool selected) {
    auto kind = KeymapController::ActionKind::tap;
    PointF at;
    double radius = 0;
    RectF zone;
    double sensitivity = 0;
    QString label;
    std::array<QString, 4> directions;
    if (const auto* tap = std::get_if<KeymapAction::Tap>(&action.kind)) {
        at = tap->at;
        label = TriggerLabel::text(tap->trigger);
    } else if (const auto* stick = std::get_if<KeymapAction::Stick>(&action.kind)) {
        kind = KeymapController::ActionKind::stick;
        at = stick->center;
        radius = stick->radius;
        directions = {TriggerLabel::text(stick->up), TriggerLabel::text(stick->down),
                      TriggerLabel::text(stick->left), TriggerLabel::text(stick->right)};
    } else if (const auto* look = std::get_if<KeymapAction::Look>(&action.kind)) {
        kind = KeymapController::ActionKind::look;
        at = look->center;
        zone = look->zone;
        sensitivity = look->sensitivity;
    }
    // In the order of the action roles.
    return {idText(action.id),
            static_cast<int>(kind),
            selected,
            at.x,
            at.y,
            radius,
            zone.x,
            zone.y,
            zone.width,
            zone.height,
            sensitivity,
            label,
            directions[0],
            directions[1],
            directions[2],
            directions[3]};
}

}  // namespace

KeymapController::KeymapController(std::optional<std::string> package,
                                   std::optional<ProfileStore> store, KeymapFileChooser& chooser,
                                   QObject* parent)
    : QObject(parent),
      package_(std::move(package)),
      store_(std::move(store)),
      chooser_(chooser),
      layouts_(new RowListModel(layoutRoles, this)),
      actions_(new RowListModel(actionRoles, this)) {}

void KeymapController::updateLists() {
    QList<RowListModel::Row> layoutRows;
    QList<RowListModel::Row> actionRows;
    if (editor_) {
        for (std::size_t i = 0; i < editor_->layouts().size(); ++i) {
            const auto& layout = editor_->layouts()[i];
            layoutRows.append(
                {shownName(layout.name), i == editor_->editedIndex(),
                 layout.switchTrigger ? TriggerLabel::text(*layout.switchTrigger) : QString()});
        }
    }
    if (const KeymapEditorModel* model = currentModel()) {
        for (const KeymapAction& action : EditorGeometry::drawOrder(model->profile().actions)) {
            actionRows.append(actionRow(action, model->selection() == action.id));
        }
    }
    layouts_->setRows(std::move(layoutRows));
    actions_->setRows(std::move(actionRows));
}

QString KeymapController::captureActionId() const {
    return capture_.kind == CaptureKind::slot ? idText(capture_.actionId) : QString();
}

QString KeymapController::layoutToastId() const {
    return layoutToast_ ? idText(layoutToast_->id) : QString();
}

QString KeymapController::layoutToastText() const {
    return layoutToast_ ? layoutToast_->text : QString();
}

QString KeymapController::editedLayoutName() const {
    return currentModel() ? shownName(editor_->currentLayout().name) : QString();
}

QString KeymapController::switchTriggerLabel() const {
    if (!currentModel() || !editor_->currentLayout().switchTrigger) {
        return {};
    }
    return TriggerLabel::text(*editor_->currentLayout().switchTrigger);
}

bool KeymapController::canUndo() const {
    const KeymapEditorModel* model = currentModel();
    return model && model->canUndo();
}

bool KeymapController::hasLook() const {
    const KeymapEditorModel* model = currentModel();
    return model && model->hasLook();
}

bool KeymapController::showLabels() const {
    const KeymapEditorModel* model = currentModel();
    return !model || model->profile().showLabels;
}

QString KeymapController::selection() const {
    const KeymapEditorModel* model = currentModel();
    if (!model || !model->selection() || !model->action(*model->selection())) {
        return {};
    }
    return idText(*model->selection());
}

const KeymapEditorModel* KeymapController::currentModel() const {
    return editor_ && !editor_->layouts().empty() ? &editor_->current() : nullptr;
}

}  // namespace qm
