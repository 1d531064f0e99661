#include "Input/SuperChordFilter.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace qm {

SuperChordFilter::SuperChordFilter() {
    QCoreApplication::instance()->installEventFilter(this);
}

SuperChordFilter::~SuperChordFilter() {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        application->removeEventFilter(this);
    }
}

bool SuperChordFilter::isRepeat(const QObject* receiver, const QKeyEvent& key) {
    // A key event comes to its window and then to the window's items; a shortcut's override
    // comes to the window first too, or only to the item with the focus.
    if (key.type() != QEvent::ShortcutOverride && !receiver->isWindowType()) {
        return false;
    }
    const quint32 code = key.nativeScanCode();
    if (held_ && held_->code != code) {
        // The display repeats only the key pressed last, and a chord's release may never come
        // here (a Super chord may end in a grab of the desktop's): another key ends the hold.
        held_.reset();
    }
    if (key.type() == QEvent::KeyRelease) {
        if (!key.isAutoRepeat()) {
            held_.reset();
        }
        return false;
    }
    if (key.isAutoRepeat()) {
        return true;
    }
    if (!held_) {
        held_ = Held{code, key.timestamp()};
        return false;
    }
    return held_->since != key.timestamp();
}

bool SuperChordFilter::eventFilter(QObject* receiver, QEvent* event) {
    switch (event->type()) {
        case QEvent::ApplicationStateChange:
            if (static_cast<const QApplicationStateChangeEvent&>(*event).applicationState() !=
                Qt::ApplicationActive) {
                held_.reset();  // their releases go to another application
            }
            return false;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            break;
        default:
            return false;
    }
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const bool repeat = isRepeat(receiver, key);
    if (!(key.modifiers() & Qt::MetaModifier) || event->type() == QEvent::KeyRelease) {
        return false;
    }
    if (repeat) {
        // Accepted, the override keeps every shortcut from acting; the key event then stops here.
        event->accept();
        return true;
    }
    // Qt's text controls take any printable text with Super held for typing.
    if (key.text().isEmpty() ||
        !(receiver->inherits("QQuickTextInput") || receiver->inherits("QQuickTextEdit"))) {
        return false;
    }
    // Ignored, it goes on to the items around the field, whose keys may act on it.
    event->ignore();
    return true;
}

}  // namespace qm
