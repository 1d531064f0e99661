#include "EditorGeometry.h"

#include <algorithm>
#include <cmath>
#include <variant>

#include "KeymapController.h"

namespace qm {

namespace {

// The knob starts on the circle at 45 degrees: each of its coordinates is radius / sqrt(2).
constexpr double diagonal = 0.7071067811865476;

bool usable(double length) {
    return std::isfinite(length) && length > 0;
}

bool isLook(const KeymapAction& action) {
    return std::holds_alternative<KeymapAction::Look>(action.kind);
}

}  // namespace

std::vector<KeymapAction> EditorGeometry::drawOrder(std::vector<KeymapAction> actions) {
    std::stable_partition(actions.begin(), actions.end(), isLook);
    return actions;
}

QPointF EditorGeometry::point(QPointF fraction, QRectF content) {
    return {content.x() + content.width() * fraction.x(),
            content.y() + content.height() * fraction.y()};
}

QRectF EditorGeometry::rect(QRectF fraction, QRectF content) {
    return {point(fraction.topLeft(), content),
            QSizeF(content.width() * fraction.width(), content.height() * fraction.height())};
}

std::optional<QPointF> EditorGeometry::normalized(QPointF point, QRectF content) {
    if (!usable(content.width()) || !usable(content.height())) {
        return std::nullopt;
    }
    return QPointF((point.x() - content.x()) / content.width(),
                   (point.y() - content.y()) / content.height());
}

double EditorGeometry::stickRadius(double radius, QVector2D dragged) {
    return std::hypot(radius * diagonal + dragged.x(), radius * diagonal + dragged.y());
}

double EditorGeometry::liveStickRadius(double radius, QVector2D resize, QRectF content) {
    return std::max(stickFloor, stickRadius(radius * content.width(), resize));
}

QRectF EditorGeometry::liveZone(QRectF zone, QVector2D resize, QRectF content) {
    const QRectF drawn = rect(zone, content);
    return {drawn.topLeft(), QSizeF(std::max(zoneFloor, drawn.width() + resize.x()),
                                    std::max(zoneFloor, drawn.height() + resize.y()))};
}

void EditorGeometry::endMove(KeymapController* keymap, const QString& actionId, QPointF origin,
                             QVector2D translation, QRectF content) {
    if (!keymap) {
        return;
    }
    const QPointF moved = point(origin, content) + translation.toPointF();
    if (const auto to = normalized(moved, content)) {
        keymap->moveAction(actionId, to->x(), to->y());
    }
    keymap->select(actionId);
}

void EditorGeometry::endStickResize(KeymapController* keymap, const QString& actionId,
                                    double radius, QVector2D translation, QRectF content) {
    const double width = content.width();
    if (!keymap || !usable(width)) {
        return;
    }
    // Without the drawing's floor: the model keeps the radius in range.
    keymap->setStickRadius(actionId, stickRadius(radius * width, translation) / width);
    keymap->select(actionId);
}

void EditorGeometry::endLookResize(KeymapController* keymap, const QString& actionId, QRectF zone,
                                   QVector2D translation, QRectF content) {
    const double width = content.width();
    const double height = content.height();
    if (!keymap || !usable(width) || !usable(height)) {
        return;
    }
    // Possibly negative: the model standardises the zone and keeps it in range.
    keymap->setLookZone(actionId, zone.x(), zone.y(),
                        (zone.width() * width + translation.x()) / width,
                        (zone.height() * height + translation.y()) / height);
    keymap->select(actionId);
}

}  // namespace qm
