#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "DeviceLink/DeviceInfo.h"
#include "IPhone/IPhoneListModel.h"
#include "IPhoneMirror/IPhoneDevice.h"
#include "Library/LibraryViewModel.h"
#include "QuillmereKit/Help/ConnectionNotice.h"
#include "QuillmereKit/Tasks/GuiTask.h"
#include "Storage/AppSettings.h"

namespace qm {

// What the library, iPhone and onboarding screens read and call of the app model: the connected
// phone, the attached iPhones, the settings and the routes. The app model derives from it; tests
// hand the screens a fake. GUI thread only.
class AppModelBase : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application makes the one app model")
    Q_PROPERTY(bool hasConnectedDevice READ hasConnectedDevice NOTIFY connectedDeviceChanged)
    Q_PROPERTY(IPhoneListModel* iphones READ iphones CONSTANT)
    Q_PROPERTY(AppSettings* settings READ settings CONSTANT)
    Q_PROPERTY(bool hasDemoStream READ hasDemoStream CONSTANT)

public:
    // The settings must outlive the model.
    explicit AppModelBase(AppSettings& settings, QObject* parent = nullptr);

    const std::optional<DeviceInfo>& connectedDevice() const noexcept { return connectedDevice_; }
    bool hasConnectedDevice() const noexcept { return connectedDevice_.has_value(); }
    IPhoneListModel* iphones() noexcept { return &iphones_; }
    AppSettings* settings() const noexcept { return &settings_; }
    // Why no phone is usable, for the onboarding screen.
    const ConnectionNotice& connectionNotice() const noexcept { return connectionNotice_; }
    // The bundle holds the demo stream.
    virtual bool hasDemoStream() const = 0;

    // A new view model of that phone's library, showing its cached list.
    virtual std::unique_ptr<LibraryViewModel> makeLibraryViewModel(const DeviceInfo& device) = 0;

    // Remembers the package as the last one and streams it.
    Q_INVOKABLE virtual void openGame(const QString& package) = 0;
    // Shows that iPhone's screen while it is still attached; nothing otherwise.
    Q_INVOKABLE void openIPhone(const QString& deviceID);
    // Back to the library, or wherever the phone's state leads from there.
    Q_INVOKABLE virtual void closeIPhone() = 0;
    // Plays the bundle's demo stream.
    Q_INVOKABLE virtual void startDemo() = 0;
    // Puts the diagnostics report on the clipboard; settles once it is there. Each call copies
    // anew.
    virtual GuiTask<void> copyDiagnostics() = 0;

signals:
    void connectedDeviceChanged();
    void connectionNoticeChanged();

protected:
    void setConnectedDevice(std::optional<DeviceInfo> device);
    // Notifies only a notice unlike the last.
    void setConnectionNotice(ConnectionNotice notice);
    void setIPhones(std::vector<IPhoneDevice> devices) { iphones_.setDevices(std::move(devices)); }
    // Switches the route to an attached iPhone.
    virtual void showIPhone(const IPhoneDevice& device) = 0;

private:
    AppSettings& settings_;
    std::optional<DeviceInfo> connectedDevice_;
    ConnectionNotice connectionNotice_ = ConnectionNotice::connectCable();
    IPhoneListModel iphones_;
};

}  // namespace qm
