#include "LibraryScreen.h"

#include <QQmlEngine>
#include <utility>

namespace qm {

LibraryScreen::~LibraryScreen() {
    retire(std::move(library_));
}

void LibraryScreen::setModel(AppModelBase* model) {
    if (model == model_) {
        return;
    }
    if (model_) {
        disconnect(model_, nullptr, this, nullptr);
    }
    model_ = model;
    if (model_) {
        connect(model_, &AppModelBase::connectedDeviceChanged, this, &LibraryScreen::follow);
    }
    emit modelChanged();
    if (complete_) {
        follow();
    }
}

void LibraryScreen::componentComplete() {
    complete_ = true;
    if (QQmlEngine* engine = qmlEngine(this)) {
        icons_ = &LibraryIconProvider::of(*engine);
    }
    follow();
}

void LibraryScreen::follow() {
    const std::optional<DeviceInfo>& device =
        model_ ? model_->connectedDevice() : std::optional<DeviceInfo>();
    std::optional<std::string> serial = device ? std::optional(device->serial) : std::nullopt;
    if (serial == serial_) {
        return;
    }
    serial_ = std::move(serial);
    // A phone that went away leaves its list on screen.
    if (!device) {
        return;
    }
    std::unique_ptr<LibraryViewModel> previous =
        std::exchange(library_, model_->makeLibraryViewModel(*device));
    connect(library_.get(), &LibraryViewModel::appsChanged, this, &LibraryScreen::publishIcons);
    publishIcons();
    emit libraryChanged();
    retire(std::move(previous));
    library_->refresh();
}

void LibraryScreen::publishIcons() {
    // An empty list, as a library shown again starts with, needs no icons: the last ones stay
    // for the list that follows, most often the same one.
    if (icons_ && library_ && !library_->model().apps().empty()) {
        const int revision = icons_->publish(library_->model().apps());
        if (revision != iconRevision_) {
            iconRevision_ = revision;
            emit iconRevisionChanged();
        }
    }
}

void LibraryScreen::retire(std::unique_ptr<LibraryViewModel> library) {
    if (!library) {
        return;
    }
    // From here Qt deletes it, once its refresh has ended and saved.
    LibraryViewModel* leaving = library.release();
    disconnect(leaving, nullptr, this, nullptr);
    if (!leaving->isLoading()) {
        leaving->deleteLater();
        return;
    }
    connect(leaving, &LibraryViewModel::isLoadingChanged, leaving, [leaving] {
        if (!leaving->isLoading()) {
            leaving->deleteLater();
        }
    });
}

}  // namespace qm
