#pragma once

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

    // In no particular order; read on every click, so kept rather than made.
    const QList<QRectF>& frames() const noexcept { return frames_; }
    // Records or replaces a control's frame.
    void set(const QRectF& frame, const QUuid& id) {
        if (const qsizetype at = ids_.indexOf(id); at >= 0) {
            frames_[at] = frame;
        } else {
            ids_.append(id);
            frames_.append(frame);
        }
    }
    void remove(const QUuid& id) {
        if (const qsizetype at = ids_.indexOf(id); at >= 0) {
            ids_.removeAt(at);
            frames_.removeAt(at);
        }
    }

private:
    // Side by side: the frame of ids_[i] is frames_[i].
    QList<QUuid> ids_;
    QList<QRectF> frames_;
};

}  // namespace qm
