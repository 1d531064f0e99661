#pragma once

#include <QObject>

#include <QtQml/qqmlregistration.h>

namespace qm {

// What this PC's graphics offer the settings, asked once per process (after the first window
// has made Qt Quick's shared OpenGL context).
class GraphicsSupport : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool upscaling READ upscaling CONSTANT)
    Q_PROPERTY(bool softwareRendering READ softwareRendering CONSTANT)

public:
    using QObject::QObject;

    static bool upscaling();
    // Drawing in software, as in a virtual machine: no upscaling, the fastest filter.
    static bool softwareRendering();
};

}  // namespace qm
