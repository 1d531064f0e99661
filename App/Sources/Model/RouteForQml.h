#pragma once

#include <QObject>

#include <QtQml/qqml.h>

#include "Model/AppModel.h"

namespace qm {

// The route's kinds by name for views (Route.RouteKind.stream, ...), compared with
// AppModel.routeKind.
namespace RouteKinds {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(qm::AppModel)
QML_NAMED_ELEMENT(Route)
}  // namespace RouteKinds

}  // namespace qm
