#pragma once

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <optional>
#include <vector>

#include <QVector2D>
#include <QtQml/qqmlregistration.h>

#include "InputRouter/KeymapProfile.h"
#include "KeymapController.h"

namespace qm {

// Where the keymap views draw the actions of a layout over the video, and what a finished
// gesture on an editor handle writes. Positions of actions are fractions of the content
// rectangle, the part of the view the picture fills; everything else is in view points.
// Translations are those of the handle's drag handler. GUI thread for the gesture ends; the
// rest is pure. QML reaches it as the singleton EditorGeometry.
class EditorGeometry : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    // A stick or a zone is never drawn smaller than this while it is resized, in points.
    static constexpr double stickFloor = 8;
    static constexpr double zoneFloor = 20;

    using QObject::QObject;

    // Look zones first, underneath, so that taps and sticks inside a zone take the clicks; each
    // group keeps the layout's order.
    static std::vector<KeymapAction> drawOrder(std::vector<KeymapAction> actions);

    Q_INVOKABLE static QPointF point(QPointF fraction, QRectF content);
    Q_INVOKABLE static QRectF rect(QRectF fraction, QRectF content);
    // Fractions of the content rectangle, unclamped; nothing unless its width and height are
    // finite and above zero.
    static std::optional<QPointF> normalized(QPointF point, QRectF content);
    // The distance of a stick's knob from its centre once dragged by `dragged`: the knob starts
    // on the circle at the lower right diagonal.
    Q_INVOKABLE static double stickRadius(double radius, QVector2D dragged);

    // The radius a stick is drawn with while its knob is dragged, in points.
    Q_INVOKABLE static double liveStickRadius(double radius, QVector2D resize, QRectF content);
    // The frame a look zone is drawn in while its knob is dragged: its top-left corner stays.
    Q_INVOKABLE static QRectF liveZone(QRectF zone, QVector2D resize, QRectF content);

    // The ends of a handle's gestures: at most one edit of the edited layout, then the action
    // is selected. A move off a degenerate content rectangle only selects; a resize there
    // changes and selects nothing.
    Q_INVOKABLE static void endMove(qm::KeymapController* keymap, const QString& actionId,
                                    QPointF origin, QVector2D translation, QRectF content);
    Q_INVOKABLE static void endStickResize(qm::KeymapController* keymap, const QString& actionId,
                                           double radius, QVector2D translation, QRectF content);
    Q_INVOKABLE static void endLookResize(qm::KeymapController* keymap, const QString& actionId,
                                          QRectF zone, QVector2D translation, QRectF content);
};

}  // namespace qm
