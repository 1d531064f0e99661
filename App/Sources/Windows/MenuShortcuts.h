#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>
#include <QVariant>

#include <QtQml/qqmlregistration.h>

namespace qm {

// A shortcut as Linux menus show it beside an item: "Super+Q", "Ctrl+Super+F". GUI thread only.
class MenuShortcuts : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // Modifiers in the order desktops write them, Super for the Meta key; only the first key
    // of a sequence. Empty for no shortcut.
    static QString text(const QKeySequence& sequence);
    // What an Action's `shortcut` holds: a text in Qt's portable form, a standard key or a
    // sequence.
    Q_INVOKABLE static QString text(const QVariant& shortcut);
};

}  // namespace qm
