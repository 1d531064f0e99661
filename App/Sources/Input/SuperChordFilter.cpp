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

bool SuperChordFilter::eventFilter(QObject* receiver, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    const auto& key = static_cast<const QKeyEvent&>(*event);
    // Qt's text controls take any printable text with Super held for typing.
    if (!(key.modifiers() & Qt::MetaModifier) || key.text().isEmpty() ||
        !(receiver->inherits("QQuickTextInput") || receiver->inherits("QQuickTextEdit"))) {
        return false;
    }
    // Ignored, it goes on to the items around the field, whose keys may act on it.
    event->ignore();
    return true;
}

}  // namespace qm
