#include "MenuShortcuts.h"

#include <QStringList>

namespace qm {

QString MenuShortcuts::text(const QKeySequence& sequence) {
    if (sequence.isEmpty()) {
        return {};
    }
    const QKeyCombination combination = sequence[0];
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    QStringList parts;
    if (modifiers & Qt::ControlModifier) {
        parts << QStringLiteral("Ctrl");
    }
    if (modifiers & Qt::AltModifier) {
        parts << QStringLiteral("Alt");
    }
    if (modifiers & Qt::MetaModifier) {
        parts << QStringLiteral("Super");
    }
    if (modifiers & Qt::ShiftModifier) {
        parts << QStringLiteral("Shift");
    }
    parts << QKeySequence(combination.key()).toString(QKeySequence::NativeText);
    return parts.join(u'+');
}

QString MenuShortcuts::text(const QVariant& shortcut) {
    switch (shortcut.typeId()) {
        case QMetaType::QString:
            return text(QKeySequence::fromString(shortcut.toString(), QKeySequence::PortableText));
        case QMetaType::Int:
            return text(QKeySequence(QKeySequence::StandardKey(shortcut.toInt())));
        default:
            return text(shortcut.value<QKeySequence>());
    }
}

}  // namespace qm
