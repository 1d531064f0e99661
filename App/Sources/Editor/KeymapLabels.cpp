#include "KeymapLabels.h"

#include <variant>

#include "EditorGeometry.h"
#include "TriggerLabel.h"

namespace qm {

namespace {

QPointF pointOf(PointF fraction, QRectF content) {
    return EditorGeometry::point({fraction.x, fraction.y}, content);
}

}  // namespace

KeymapLabels::KeymapLabels(QObject* parent)
    : QObject(parent), chips_(new RowListModel({"text", "centreX", "centreY"}, this)) {}

std::vector<KeymapLabels::Label> KeymapLabels::labels(const KeymapProfile& profile,
                                                      QRectF content) {
    std::vector<Label> labels;
    for (const KeymapAction& action : profile.actions) {
        if (const auto* tap = std::get_if<KeymapAction::Tap>(&action.kind)) {
            labels.push_back({TriggerLabel::text(tap->trigger), pointOf(tap->at, content)});
        } else if (const auto* stick = std::get_if<KeymapAction::Stick>(&action.kind)) {
            const QPointF c = pointOf(stick->center, content);
            const double r = stick->radius * content.width();
            labels.push_back({TriggerLabel::text(stick->up), c - QPointF(0, r)});
            labels.push_back({TriggerLabel::text(stick->down), c + QPointF(0, r)});
            labels.push_back({TriggerLabel::text(stick->left), c - QPointF(r, 0)});
            labels.push_back({TriggerLabel::text(stick->right), c + QPointF(r, 0)});
        } else if (const auto* look = std::get_if<KeymapAction::Look>(&action.kind)) {
            labels.push_back({QString(), pointOf(look->center, content)});
        }
    }
    return labels;
}

void KeymapLabels::setKeymap(KeymapController* keymap) {
    if (keymap_ == keymap) {
        return;
    }
    if (keymap_) {
        disconnect(keymap_, nullptr, this, nullptr);
    }
    keymap_ = keymap;
    if (keymap_) {
        for (const auto changed :
             {&KeymapController::activeKeymapsChanged, &KeymapController::activeLayoutIndexChanged,
              &KeymapController::inputModeChanged, &KeymapController::editorChanged}) {
            connect(keymap_, changed, this, &KeymapLabels::update);
        }
        connect(keymap_, &QObject::destroyed, this, &KeymapLabels::update);
    }
    emit keymapChanged();
    update();
}

void KeymapLabels::setContentRect(QRectF rect) {
    if (contentRect_ == rect) {
        return;
    }
    contentRect_ = rect;
    emit contentRectChanged();
    update();
}

void KeymapLabels::update() {
    const KeymapLayout* layout = nullptr;
    if (keymap_ && !keymap_->isEditing() && keymap_->inputMode() == InputMode::keymap) {
        layout = keymap_->activeLayout();
    }
    const bool shown = layout && layout->profile.showLabels;
    QList<RowListModel::Row> rows;
    if (shown) {
        for (const Label& label : labels(layout->profile, contentRect_)) {
            rows.append({label.text, label.centre.x(), label.centre.y()});
        }
    }
    chips_->setRows(std::move(rows));
    if (shown_ != shown) {
        shown_ = shown;
        emit shownChanged();
    }
}

}  // namespace qm
