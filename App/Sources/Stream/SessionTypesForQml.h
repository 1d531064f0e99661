#pragma once

#include <QObject>

#include <QtQml/qqml.h>

#include "QuillmereKit/Session/SessionTypes.h"
#include "QuillmereKit/Session/StreamingSession.h"

namespace qm {

// The session as views see it: the object they bind to, its phase and stats as values, and
// the phase's kinds by name (SessionPhase.Kind.streaming).
struct StreamingSessionForeign {
    Q_GADGET
    QML_FOREIGN(qm::StreamingSession)
    QML_NAMED_ELEMENT(StreamingSession)
    QML_UNCREATABLE("The app model makes the sessions")
};

struct SessionPhaseForeign {
    Q_GADGET
    QML_FOREIGN(qm::SessionPhase)
    QML_VALUE_TYPE(sessionPhase)
};

struct SessionStatsForeign {
    Q_GADGET
    QML_FOREIGN(qm::SessionStats)
    QML_VALUE_TYPE(sessionStats)
};

struct VideoGeometryForeign {
    Q_GADGET
    QML_FOREIGN(qm::VideoGeometryValue)
    QML_VALUE_TYPE(videoGeometry)
};

namespace SessionPhaseKinds {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(qm::SessionPhase)
QML_NAMED_ELEMENT(SessionPhase)
}  // namespace SessionPhaseKinds

}  // namespace qm
