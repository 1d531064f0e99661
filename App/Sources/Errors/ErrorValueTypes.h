#pragma once

#include <QObject>

#include <QtQml/qqml.h>

#include "QuillmereKit/Diagnostics/DiagnosticsRedactor.h"
#include "QuillmereKit/Diagnostics/ErrorPresenter.h"

namespace qm {

// The kit's error values as QML value types: a view reads a presentation's properties and
// passes every phone or server text it shows through a redactor.
struct ErrorPresentationForeign {
    Q_GADGET
    QML_FOREIGN(qm::ErrorPresentation)
    QML_VALUE_TYPE(errorPresentation)
};

struct DiagnosticsRedactorForeign {
    Q_GADGET
    QML_FOREIGN(qm::DiagnosticsRedactor)
    QML_VALUE_TYPE(diagnosticsRedactor)
};

}  // namespace qm
