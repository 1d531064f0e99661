#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QUuid>

#include <QtQml/qqmlregistration.h>

#include "Input/OverlayFrameRegistry.h"

namespace qm {

// Marks an item as an overlay control: `OverlayControl.registry: model.overlayFrames` keeps the
// item's frame in the registry while it is visible in a window, also while it or a panel
// around it moves or is translated, and removes it when the item is hidden, leaves its window or is
// destroyed. GUI thread only.
class OverlayControl : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("OverlayControl is an attached property")
    QML_ATTACHED(OverlayControl)
    Q_PROPERTY(
        OverlayFrameRegistry* registry READ registry WRITE setRegistry NOTIFY registryChanged)

public:
    explicit OverlayControl(QObject* attachee);
    ~OverlayControl() override;

    static OverlayControl* qmlAttachedProperties(QObject* object);

    OverlayFrameRegistry* registry() const { return registry_; }
    void setRegistry(OverlayFrameRegistry* registry);

signals:
    void registryChanged();

private slots:
    void update();

private:
    // Watches the item and every item it sits in, with the transforms each has then; again
    // whenever one of them is reparented.
    void follow();

    QPointer<QQuickItem> item_;
    QPointer<OverlayFrameRegistry> registry_;
    const QUuid id_ = QUuid::createUuid();
    QList<QMetaObject::Connection> ancestors_;
};

}  // namespace qm
