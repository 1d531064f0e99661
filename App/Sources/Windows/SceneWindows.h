#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWindow>

#include <QtQml/qqmlregistration.h>

class QQuickItem;
class QQuickWindow;

namespace qm {

// The application's secondary windows by name ("guide", "about", "licenses", "settings"), each
// made once: opening one shows it or brings it to the front, and where the keys go in a window
// as it shows. One per QML engine; GUI thread only.
class SceneWindows : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // A later window under the same name replaces the earlier.
    Q_INVOKABLE void add(const QString& id, QWindow* window);
    // Nothing for a name no window was added under, or whose window is gone.
    Q_INVOKABLE void open(const QString& id);
    // Closes every window shown, as its Escape does.
    Q_INVOKABLE void closeAll();

    // Shows the window in front and active: a hidden one centred over the window it is
    // transient for and kept on that screen, a minimised one restored, one the desktop hid
    // ("show desktop") shown again. A secondary window's control that holds the keys, or else
    // its first control, takes them and shows it, as by Tab.
    Q_INVOKABLE static void bringForward(QWindow* window);

    // Whether a menu or a dialog open in the item's window holds the keys, or will once the
    // window is active again: a screen that comes meanwhile leaves them there.
    Q_INVOKABLE static bool popupHoldsKeys(const QQuickItem* item);

    // The window's first control takes the keys and shows it, as by Tab: for a control that went
    // with them, which leaves them with no control at all.
    Q_INVOKABLE static void focusFirstControl(QQuickWindow* window);

private:
    QHash<QString, QPointer<QWindow>> windows_;
};

}  // namespace qm
