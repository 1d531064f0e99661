#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "AppSettings.h"
#include "DeviceLink/DeviceInfo.h"
#include "IPhone/IPhoneListModel.h"
#include "IPhoneMirror/IPhoneDevice.h"
#include "Library/LibraryViewModel.h"

namespace qm {

// What the library and iPhone screens read and call of the app model: the connected phone, the
// attached iPhones, the settings and the routes. The app model derives from it; tests hand the
// screens a fake. GUI thread only.
class AppModelBase : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application makes the one app model")
    Q_PROPERTY(bool hasConnectedDevice READ hasConnectedDevice NOTIFY connectedDeviceChanged)
    Q_PROPERTY(IPhoneListModel* iphones READ iphones CONSTANT)
    Q_PROPERTY(AppSettings* settings READ settings CONSTANT)

public:
    // The settings must outlive the model.
    explicit AppModelBase(AppSettings& settings, QObject* parent = nullptr);

    const std::optional<DeviceInfo>& connectedDevice() const noexcept { return connectedDevice_; }
    bool hasConnectedDevice() const noexcept { return connectedDevice_.has_value(); }
    IPhoneListModel* iphones() noexcept { return &iphones_; }
    AppSettings* settings() const noexcept { return &settings_; }

    // A new view model of that phone's library, showing its cached list.
    virtual std::unique_ptr<LibraryViewModel> makeLibraryViewModel(const DeviceInfo& device) = 0;

    // Remembers the package as the last one and streams it.
    Q_INVOKABLE virtual void openGame(const QString& package) = 0;
    // Shows that iPhone's screen while it is still attached; nothing otherwise.
    Q_INVOKABLE void openIPhone(const QString& deviceID);
    // Back to the library, or wherever the phone's state leads from there.
    Q_INVOKABLE virtual void closeIPhone() = 0;

signals:
    void connectedDeviceChanged();

protected:
    void setConnectedDevice(std::optional<DeviceInfo> device);
    void setIPhones(std::vector<IPhoneDevice> devices) { iphones_.setDevices(std::move(devices)); }
    // Switches the route to an attached iPhone.
    virtual void showIPhone(const IPhoneDevice& device) = 0;

private:
    AppSettings& settings_;
    std::optional<DeviceInfo> connectedDevice_;
    IPhoneListModel iphones_;
};

}  // namespace qm
