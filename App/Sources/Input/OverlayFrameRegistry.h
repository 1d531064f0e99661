#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QUuid>

#include <QtQml/qqmlregistration.h>

namespace qm {

// Where the controls drawn over the stream are, in the window's content coordinates with the
// origin at the top left, so that a click on one does not also touch the phone. One per app
// model; controls register through the attached OverlayControl. GUI thread only.
class OverlayFrameRegistry : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The app model owns the overlay frame registry")

public:
    using QObject::QObject;

    // In no particular order.
    QList<QRectF> frames() const { return byControl_.values(); }
    // Records or replaces a control's frame.
    void set(const QRectF& frame, const QUuid& id) { byControl_.insert(id, frame); }
    void remove(const QUuid& id) { byControl_.remove(id); }

private:
    QHash<QUuid, QRectF> byControl_;
};

}  // namespace qm
