#include "ConnectScreen.h"

#include <QCoreApplication>
#include <variant>

#include "QuillmereCore/UnicodeText.h"
#include "QuillmereKit/Diagnostics/ErrorPresenter.h"

namespace qm {

QString ConnectScreen::statusText(const DeviceLinkState& state) {
    if (const auto* connected = std::get_if<DeviceLinkState::Connected>(&state.value)) {
        // The phone names itself: each name is one run of one line in the app's sentence.
        const DeviceInfo& info = connected->info;
        const auto shown = [](const std::string& text) {
            return QString::fromStdString(UnicodeText::excerpt(text));
        };
        return tr("%1 %2 · Android %3")
            .arg(shown(info.manufacturer), shown(info.model), shown(info.androidRelease));
    }
    if (const auto* failed = std::get_if<DeviceLinkState::Failed>(&state.value)) {
        return tr("Connection error: %1").arg(ErrorPresenter::connectionError(failed->cause));
    }
    if (std::holds_alternative<DeviceLinkState::Unauthorized>(state.value)) {
        return tr("Tap “Allow” in the USB debugging dialog on the phone.");
    }
    if (std::holds_alternative<DeviceLinkState::Busy>(state.value)) {
        return tr(
            "The phone is used by another adb (a screen-mirroring tool, Android Studio). "
            "Close it or run “adb kill-server”.");
    }
    if (std::holds_alternative<DeviceLinkState::NoPermission>(state.value)) {
        // No set-up steps on this screen to point at.
        return tr(
            "Vantorel may not use this phone's USB connection yet. Install the USB rule, then plug "
            "the phone in again.");
    }
    if (std::holds_alternative<DeviceLinkState::NoUsb>(state.value)) {
        return tr("Vantorel cannot reach this computer's USB devices, so it cannot find a phone.");
    }
    return tr("Connect your phone with a USB cable. Some cables only charge.");
}

void ConnectScreen::setModel(AppModel* model) {
    if (model_ == model) {
        return;
    }
    if (model_) {
        disconnect(model_, nullptr, this, nullptr);
    }
    model_ = model;
    if (model_) {
        connect(model_, &AppModel::deviceStateChanged, this, &ConnectScreen::changed);
        connect(model_, &AppModel::lastErrorChanged, this, &ConnectScreen::changed);
        connect(model_, &AppModel::knownSerialsChanged, this, &ConnectScreen::changed);
        connect(model_, &QObject::destroyed, this, &ConnectScreen::changed);
    }
    emit modelChanged();
    emit changed();
}

QString ConnectScreen::statusText() const {
    return model_ ? statusText(model_->deviceState()) : QString();
}

bool ConnectScreen::canConnect() const {
    return model_ &&
           std::holds_alternative<DeviceLinkState::Connected>(model_->deviceState().value);
}

QString ConnectScreen::errorText() const {
    return model_ ? model_->redactor().redact(model_->lastError()) : QString();
}

}  // namespace qm
