#include "IPhoneMirror/QtCaptureDeviceSource.h"

#include <QCameraDevice>
#include <utility>

namespace qm {

namespace {

VideoInput::Position position(QCameraDevice::Position position) {
    switch (position) {
        case QCameraDevice::BackFace:
            return VideoInput::Position::back;
        case QCameraDevice::FrontFace:
            return VideoInput::Position::front;
        default:
            return VideoInput::Position::unspecified;
    }
}

}  // namespace

std::vector<VideoInput> QtCaptureDeviceSource::videoInputs() const {
    std::vector<VideoInput> inputs;
    for (const QCameraDevice& device : QMediaDevices::videoInputs()) {
        inputs.push_back({device.id().toStdString(), device.description().toStdString(),
                          position(device.position())});
    }
    return inputs;
}

void QtCaptureDeviceSource::onInputsChanged(std::function<void()> changed) {
    QObject::disconnect(connection_);
    connection_ = {};
    if (changed) {
        connection_ = QObject::connect(&devices_, &QMediaDevices::videoInputsChanged, &devices_,
                                       std::move(changed));
    }
}

}  // namespace qm
