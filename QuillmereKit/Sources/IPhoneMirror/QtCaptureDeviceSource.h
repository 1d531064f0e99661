#pragma once

#include <QMediaDevices>
#include <QMetaObject>

#include "IPhoneMirror/CaptureDeviceSource.h"

namespace qm {

// The video inputs Qt Multimedia lists (V4L2 devices through its backend). Main thread only,
// after the application object exists.
class QtCaptureDeviceSource final : public CaptureDeviceSource {
public:
    std::vector<VideoInput> videoInputs() const override;
    void onInputsChanged(std::function<void()> changed) override;

private:
    // Qt reports changes only through an instance.
    QMediaDevices devices_;
    QMetaObject::Connection connection_;
};

}  // namespace qm
