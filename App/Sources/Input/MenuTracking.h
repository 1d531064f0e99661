#pragma once

#include <QObject>

#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

namespace qm {

// The hook every Menu's aboutToShow calls (`MenuTracking.willShow()`), so that stream windows
// let go of what they hold on the phone while a menu has the keyboard. GUI thread only.
class MenuTracking : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    static MenuTracking& shared();
    static MenuTracking* create(QQmlEngine* engine, QJSEngine* scriptEngine);

    Q_INVOKABLE void willShow() { emit menuWillShow(); }

signals:
    void menuWillShow();

private:
    MenuTracking() = default;
};

}  // namespace qm
