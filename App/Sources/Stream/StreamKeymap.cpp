#include "Stream/StreamKeymap.h"

#include <optional>
#include <string>

#include "Editor/ProfileStore.h"

namespace qm {

void StreamKeymap::setPackageName(const QString& packageName) {
    if (packageName_ != packageName && !controller_) {
        packageName_ = packageName;
        emit packageNameChanged();
    }
}

void StreamKeymap::componentComplete() {
    std::optional<std::string> package;
    if (!packageName_.isEmpty()) {
        package = packageName_.toStdString();
    }
    std::optional<ProfileStore> store;
    if (std::optional<std::filesystem::path> directory = ProfileStore::defaultDirectory()) {
        store = ProfileStore{*directory};
    }
    controller_ =
        std::make_unique<KeymapController>(std::move(package), std::move(store), fileDialogs_);
    // Read while the stream starts, so that they are there when keymap mode or the editor asks.
    controller_->loadActiveKeymaps();
    emit controllerChanged();
}

}  // namespace qm
