#include "Input/OverlayControl.h"

#include <QQuickWindow>

namespace qm {

OverlayControl::OverlayControl(QObject* attachee)
    : QObject(attachee), item_(qobject_cast<QQuickItem*>(attachee)) {
    if (!item_) {
        return;
    }
    for (auto signal : {&QQuickItem::xChanged, &QQuickItem::yChanged, &QQuickItem::widthChanged,
                        &QQuickItem::heightChanged, &QQuickItem::visibleChanged}) {
        connect(item_, signal, this, &OverlayControl::update);
    }
    connect(item_, &QQuickItem::windowChanged, this, &OverlayControl::update);
    connect(item_, &QQuickItem::parentChanged, this, &OverlayControl::follow);
    follow();
}

OverlayControl::~OverlayControl() {
    if (registry_) {
        registry_->remove(id_);
    }
}

OverlayControl* OverlayControl::qmlAttachedProperties(QObject* object) {
    return new OverlayControl(object);
}

void OverlayControl::setRegistry(OverlayFrameRegistry* registry) {
    if (registry_ == registry) {
        return;
    }
    if (registry_) {
        registry_->remove(id_);
    }
    registry_ = registry;
    update();
    emit registryChanged();
}

void OverlayControl::follow() {
    for (const QMetaObject::Connection& connection : std::as_const(ancestors_)) {
        disconnect(connection);
    }
    ancestors_.clear();
    for (QQuickItem* ancestor = item_->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
        ancestors_.append(connect(ancestor, &QQuickItem::xChanged, this, &OverlayControl::update));
        ancestors_.append(connect(ancestor, &QQuickItem::yChanged, this, &OverlayControl::update));
        ancestors_.append(
            connect(ancestor, &QQuickItem::parentChanged, this, &OverlayControl::follow));
    }
    update();
}

void OverlayControl::update() {
    if (!registry_) {
        return;
    }
    if (item_ && item_->isVisible() && item_->window()) {
        registry_->set(item_->mapRectToScene(item_->boundingRect()), id_);
    } else {
        registry_->remove(id_);
    }
}

}  // namespace qm
