#include "Windows/ButtonReturnKey.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QQuickItem>

namespace qm {

namespace {

bool isReturn(const QKeyEvent& key) {
    const Qt::KeyboardModifiers others = key.modifiers() & ~Qt::KeypadModifier;
    return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && others == Qt::NoModifier;
}

// Push buttons only: a check box, a switch or a menu's item keeps Return for the window or its
// menu, as elsewhere on the desktop.
bool isPushButton(const QObject& receiver) {
    const auto* item = qobject_cast<const QQuickItem*>(&receiver);
    return item && receiver.inherits("QQuickButton") && item->hasActiveFocus() &&
           item->isEnabled() && item->isVisible();
}

void sendSpace(QObject& button, const QKeyEvent& key) {
    QKeyEvent space(key.type(), Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "),
                    key.isAutoRepeat());
    space.setTimestamp(key.timestamp());
    QCoreApplication::sendEvent(&button, &space);
}

}  // namespace

ButtonReturnKey::ButtonReturnKey() {
    QCoreApplication::instance()->installEventFilter(this);
}

ButtonReturnKey::~ButtonReturnKey() {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        application->removeEventFilter(this);
    }
}

bool ButtonReturnKey::eventFilter(QObject* receiver, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease &&
        type != QEvent::ShortcutOverride) {
        return false;
    }
    auto& key = static_cast<QKeyEvent&>(*event);
    if (!isReturn(key)) {
        return false;
    }
    if (type == QEvent::KeyRelease) {
        // Wherever the focus went meanwhile, the button pressed is let go of.
        if (key.isAutoRepeat() || !pressed_) {
            return false;
        }
        sendSpace(*std::exchange(pressed_, nullptr), key);
        return true;
    }
    if (!isPushButton(*receiver)) {
        return false;
    }
    if (type == QEvent::ShortcutOverride) {
        // Accepted, the key comes to the button as a key rather than acting as a shortcut.
        event->accept();
        return true;
    }
    if (!key.isAutoRepeat()) {
        pressed_ = receiver;
    }
    sendSpace(*receiver, key);
    return true;
}

}  // namespace qm
