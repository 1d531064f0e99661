#include "Input/MenuTracking.h"

#include <QJSEngine>

namespace qm {

MenuTracking& MenuTracking::shared() {
    static MenuTracking tracking;
    return tracking;
}

MenuTracking* MenuTracking::create(QQmlEngine* /*engine*/, QJSEngine* /*scriptEngine*/) {
    MenuTracking* tracking = &shared();
    QJSEngine::setObjectOwnership(tracking, QJSEngine::CppOwnership);
    return tracking;
}

}  // namespace qm
