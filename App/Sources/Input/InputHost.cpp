#include "Input/InputHost.h"

#include <QApplication>
#include <QGuiApplication>
#include <QQuickWindow>

#include "Editor/KeymapController.h"
#include "Input/DisplayWatch.h"
#include "Input/MenuTracking.h"
#include "Input/RawMouseHub.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"

namespace qm {

InputHost::InputHost(QQuickItem* parent) : QQuickItem(parent) {}

InputHost::~InputHost() {
    follow(nullptr);
}

void InputHost::setModel(QObject* model) {
    if (model_ == model) {
        return;
    }
    model_ = model;
    rebuild();
    emit modelChanged();
}

void InputHost::setKeymap(KeymapController* keymap) {
    if (keymap_ == keymap) {
        return;
    }
    keymap_ = keymap;
    rebuild();
    emit keymapChanged();
}

void InputHost::setSheetCount(int count) {
    if (sheetCount_ == count) {
        return;
    }
    const bool opened = sheetCount_ == 0 && count > 0;
    sheetCount_ = count;
    emit sheetCountChanged();
    // The sheet takes the keyboard from the stream, and gives it back.
    if (coordinator_ && opened) {
        coordinator_->windowLostFocus();
    } else if (coordinator_ && count == 0) {
        coordinator_->windowBecameKey();
    }
}

bool InputHost::isWindowActive() const {
    return window() && QGuiApplication::focusWindow() == window();
}

bool InputHost::isKeyWindow() const {
    if (!isWindowActive()) {
        return false;
    }
    // An open menu is drawn inside the window and takes its keyboard.
    for (const QQuickItem* focus = window()->activeFocusItem(); focus;
         focus = focus->parentItem()) {
        if (focus->inherits("QQuickPopupItem")) {
            return false;
        }
    }
    return true;
}

std::optional<bool> InputHost::isActiveWindow() const {
    const std::optional<std::uint32_t> active = DisplayWatch::shared().activeWindow();
    if (!active) {
        return std::nullopt;
    }
    return window() && *active == window()->winId();
}

bool InputHost::isWindowVisible() const {
    return window() && window()->isExposed();
}

bool InputHost::grabKeyboard(bool grab) {
    if (!grab || !window()) {
        keyboard_.release();
        return false;
    }
    return keyboard_.grab(*window());
}

void InputHost::grabMouse(bool grab) {
    // The item may have left the window by now.
    if (mouseGrabbing_) {
        mouseGrabbing_->setMouseGrabEnabled(false);
    }
    mouseGrabbing_ = grab ? window() : nullptr;
    if (mouseGrabbing_ && !mouseGrabbing_->setMouseGrabEnabled(true)) {
        Log::input().debug("the display refused the mouse grab");
    }
}

void InputHost::handKeyOn(std::uint32_t nativeKey, DesktopChord chord) {
    if (nativeKey <= 0xff) {
        keyboard_.handOn(std::uint8_t(nativeKey), chord);
    }
}

void InputHost::closeWindow() {
    // Through the window's own close, which asks about unsaved edits as a click on its × does.
    if (QQuickWindow* shown = window()) {
        shown->close();
    }
}

void InputHost::componentComplete() {
    QQuickItem::componentComplete();
    follow(window());
}

void InputHost::itemChange(ItemChange change, const ItemChangeData& data) {
    QQuickItem::itemChange(change, data);
    if (change == ItemSceneChange && isComponentComplete()) {
        follow(data.window);
    }
}

void InputHost::rebuild() {
    follow(nullptr);
    coordinator_.reset();
    if (model_ && keymap_) {
        const auto* input = dynamic_cast<const InputModel*>(model_.data());
        coordinator_ = std::make_unique<InputCoordinator>(
            model_, *keymap_,
            InputCoordinator::Services{ticks_, RawMouseHub::shared(), [] { QApplication::beep(); },
                                       input ? input->hostClock() : HostClock::nowNanos});
    }
    if (isComponentComplete()) {
        follow(window());
    }
}

void InputHost::follow(QQuickWindow* window) {
    for (const QMetaObject::Connection& observer : std::as_const(observers_)) {
        disconnect(observer);
    }
    observers_.clear();
    if (!coordinator_) {
        return;
    }
    if (!window) {
        coordinator_->detach();
        keyboard_.watch(nullptr);
        return;
    }
    InputCoordinator& coordinator = *coordinator_;
    const auto focusMoved = [&coordinator] { coordinator.focusMoved(); };
    observers_ = {
        connect(window, &QWindow::activeChanged, this, focusMoved),
        connect(&DisplayWatch::shared(), &DisplayWatch::activeWindowChanged, this, focusMoved),
        connect(&MenuTracking::shared(), &MenuTracking::menuWillShow, this,
                [&coordinator] { coordinator.windowLostFocus(); }),
        connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
                [&coordinator](Qt::ApplicationState state) {
                    if (state != Qt::ApplicationActive) {
                        coordinator.windowLostFocus();
                    }
                }),
        connect(qGuiApp, &QCoreApplication::aboutToQuit, this,
                [&coordinator] { coordinator.windowLostFocus(); }),
    };
    keyboard_.watch(window);
    coordinator.attach(*this);
}

}  // namespace qm
