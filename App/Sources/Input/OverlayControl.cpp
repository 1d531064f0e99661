#include "Input/OverlayControl.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QQmlListReference>
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
    // A transform such as a Translate moves an item without changing its x or y; any of its
    // properties may move it.
    const QMetaMethod refresh = staticMetaObject.method(staticMetaObject.indexOfSlot("update()"));
    for (QQuickItem* each = item_; each; each = each->parentItem()) {
        if (each != item_) {
            ancestors_.append(connect(each, &QQuickItem::xChanged, this, &OverlayControl::update));
            ancestors_.append(connect(each, &QQuickItem::yChanged, this, &OverlayControl::update));
            ancestors_.append(
                connect(each, &QQuickItem::parentChanged, this, &OverlayControl::follow));
        }
        const QQmlListReference transforms(each, "transform");
        for (qsizetype i = 0; i < transforms.count(); ++i) {
            QObject* transform = transforms.at(i);
            const QMetaObject* type = transform->metaObject();
            for (int p = 0; p < type->propertyCount(); ++p) {
                if (type->property(p).hasNotifySignal()) {
                    ancestors_.append(
                        connect(transform, type->property(p).notifySignal(), this, refresh));
                }
            }
        }
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
