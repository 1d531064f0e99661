#include "HUD/StreamToolbarModel.h"

#include <algorithm>
#include <array>

#include "HUD/HUDTexts.h"
#include "Input/InputCoordinator.h"
#include "Input/InputModel.h"

namespace qm {

namespace {

constexpr std::array<InputMode, 2> offeredModes = {InputMode::keyboardMouse, InputMode::keymap};

}  // namespace

void StreamToolbarModel::setSettings(AppSettings* settings) {
    if (settings_ != settings) {
        settings_ = settings;
        emit settingsChanged();
    }
}

void StreamToolbarModel::setKeymap(KeymapController* keymap) {
    if (keymap_ == keymap) {
        return;
    }
    if (keymap_) {
        disconnect(keymap_, nullptr, this, nullptr);
    }
    keymap_ = keymap;
    if (keymap) {
        for (auto changed :
             {&KeymapController::inputModeChanged, &KeymapController::activeLayoutIndexChanged,
              &KeymapController::activeKeymapsChanged}) {
            connect(keymap, changed, this, &StreamToolbarModel::keymapStateChanged);
        }
        connect(keymap, &QObject::destroyed, this, &StreamToolbarModel::keymapStateChanged);
    }
    emit keymapChanged();
    emit keymapStateChanged();
}

void StreamToolbarModel::setInputModel(QObject* model) {
    if (inputModel_ != model) {
        inputModel_ = model;
        emit inputModelChanged();
    }
}

void StreamToolbarModel::setCanRequestMode(bool can) {
    if (canRequestMode_ != can) {
        canRequestMode_ = can;
        emit canRequestModeChanged();
    }
}

QString StreamToolbarModel::indicatorText() const {
    if (!keymap_) {
        return HUDModeMenu::indicatorText(std::nullopt, std::nullopt, 0);
    }
    std::optional<QString> layoutName;
    if (const KeymapLayout* layout = keymap_->activeLayout()) {
        layoutName = QString::fromStdString(layout->name);
    }
    return HUDModeMenu::indicatorText(keymap_->inputMode(), layoutName,
                                      static_cast<int>(keymap_->activeLayoutIndex()));
}

bool StreamToolbarModel::showsLayouts() const {
    return keymap_ && keymap_->inputMode() == InputMode::keymap &&
           !keymap_->layoutNames().isEmpty();
}

QStringList StreamToolbarModel::modeTitles() {
    QStringList titles;
    for (InputMode mode : offeredModes) {
        titles.append(HUDModeMenu::title(mode));
    }
    return titles;
}

void StreamToolbarModel::chooseResolution(AppSettings::ResolutionPreset preset) {
    if (!settings_ || preset == settings_->resolutionPreset()) {
        return;
    }
    settings_->setResolutionPreset(preset);
    emit streamRestartRequested();
}

int StreamToolbarModel::currentModeEntry() const {
    if (!keymap_) {
        return -1;
    }
    const auto found = std::find(offeredModes.begin(), offeredModes.end(), keymap_->inputMode());
    return found == offeredModes.end() ? -1 : static_cast<int>(found - offeredModes.begin());
}

void StreamToolbarModel::requestMode(int entry) {
    const auto* model = dynamic_cast<const InputModel*>(inputModel_.data());
    if (entry < 0 || entry >= static_cast<int>(offeredModes.size()) || !model) {
        return;
    }
    if (InputCoordinator* coordinator = model->modeRequester()) {
        coordinator->requestMode(offeredModes[static_cast<std::size_t>(entry)]);
    }
}

}  // namespace qm
