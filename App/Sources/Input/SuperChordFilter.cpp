#include "Input/SuperChordFilter.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include "Input/HeldKeys.h"

namespace qm {

SuperChordFilter::SuperChordFilter() {
    HeldKeys::shared();  // follows the keys from the start
    QCoreApplication::instance()->installEventFilter(this);
}

SuperChordFilter::~SuperChordFilter() {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        application->removeEventFilter(this);
    }
}

bool SuperChordFilter::eventFilter(QObject* receiver, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (!(key.modifiers() & Qt::MetaModifier)) {
        return false;
    }
    if (!HeldKeys::shared().firesSuperChord(key)) {
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
