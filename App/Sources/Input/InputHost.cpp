#include "Input/InputHost.h"

#include <QApplication>
#include <QGuiApplication>
#include <QQuickWindow>

#include "Editor/KeymapController.h"
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

bool InputHost::isKeyWindow() const {
    const QQuickWindow* shown = window();
    if (!shown || QGuiApplication::focusWindow() != shown) {
        return false;
    }
    // An open menu is drawn inside the window and takes its keyboard.
    for (const QQuickItem* focus = shown->activeFocusItem(); focus; focus = focus->parentItem()) {
        if (focus->inherits("QQuickPopupItem")) {
            return false;
        }
    }
    return true;
}

bool InputHost::isWindowVisible() const {
    return window() && window()->isExposed();
}

void InputHost::grabKeyboard(bool grab) {
    if (!grab) {
        // The item may have left the window by now.
        if (grabbing_) {
            grabbing_->setKeyboardGrabEnabled(false);
        }
        grabbing_.clear();
        return;
    }
    grabbing_ = window();
    if (grabbing_ && !grabbing_->setKeyboardGrabEnabled(true)) {
        Log::input().debug("the display refused the keyboard grab");
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

void InputHost::windowClosing() {
    if (coordinator_) {
        coordinator_->closeStream();
    }
}

void InputHost::rebuild() {
    follow(nullptr);
    coordinator_.reset();
    if (model_ && keymap_) {
        coordinator_ = std::make_unique<InputCoordinator>(
            model_, *keymap_,
            InputCoordinator::Services{ticks_, RawMouseHub::shared(), [] { QApplication::beep(); },
                                       &HostClock::nowNanos});
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
        return;
    }
    InputCoordinator& coordinator = *coordinator_;
    observers_ = {
        connect(window, &QWindow::activeChanged, this,
                [this, &coordinator] {
                    if (isKeyWindow()) {
                        coordinator.windowBecameKey();
                    } else {
                        coordinator.windowLostFocus();
                    }
                }),
        // QQuickCloseEvent is private: the signal is joined by name.
        connect(window, SIGNAL(closing(QQuickCloseEvent*)), this, SLOT(windowClosing())),
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
    coordinator.attach(*this);
}

}  // namespace qm
