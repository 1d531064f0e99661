#include "AppModelBase.h"

#include <utility>

namespace qm {

AppModelBase::AppModelBase(AppSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings), iphones_(this) {}

void AppModelBase::openIPhone(const QString& deviceID) {
    // The row may have been clicked just before its device went away.
    if (const IPhoneDevice* device = iphones_.find(deviceID.toStdString())) {
        showIPhone(*device);
    }
}

void AppModelBase::setConnectedDevice(std::optional<DeviceInfo> device) {
    if (device != connectedDevice_) {
        connectedDevice_ = std::move(device);
        emit connectedDeviceChanged();
    }
}

void AppModelBase::setConnectionNotice(ConnectionNotice notice) {
    if (notice != connectionNotice_) {
        connectionNotice_ = std::move(notice);
        emit connectionNoticeChanged();
    }
}

}  // namespace qm
