#pragma once

#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QQuickItem>
#include <QQuickWindow>
#include <memory>

#include <QtQml/qqmlregistration.h>

#include "IPhoneMirror/TimerSource.h"
#include "Input/DesktopKeyboard.h"
#include "Input/DisplayWatch.h"
#include "Input/GrabFocusFilter.h"
#include "Input/InputCoordinator.h"
#include "Input/InputView.h"

namespace qm {

class KeymapController;

// The stream view's input place: a transparent item the size of the video view, placed under
// the stream content, that owns its window's input coordinator and attaches it while the item
// is in a window with a model and a keymap controller. It takes no clicks itself. Modal
// dialogs over the window count themselves in `sheetCount`. GUI thread only.
class InputHost : public QQuickItem, public InputView {
    Q_OBJECT
    QML_ELEMENT
    // The app model, an InputModel.
    Q_PROPERTY(QObject* model READ model WRITE setModel NOTIFY modelChanged)
    // Must outlive the item.
    Q_PROPERTY(qm::KeymapController* keymap READ keymap WRITE setKeymap NOTIFY keymapChanged)
    Q_PROPERTY(int sheetCount READ sheetCount WRITE setSheetCount NOTIFY sheetCountChanged)

public:
    explicit InputHost(QQuickItem* parent = nullptr);
    ~InputHost() override;

    QObject* model() const { return model_; }
    void setModel(QObject* model);
    KeymapController* keymap() const { return keymap_; }
    void setKeymap(KeymapController* keymap);
    int sheetCount() const noexcept { return sheetCount_; }
    void setSheetCount(int count);

    // Null until it has a model and a keymap controller.
    InputCoordinator* coordinator() const noexcept { return coordinator_.get(); }

    // InputView
    QQuickItem& item() override { return *this; }
    bool isWindowActive() const override;
    // The window has the focus and no menu or other popup inside it holds it.
    bool isKeyWindow() const override;
    std::optional<bool> isActiveWindow() const override;
    bool isWindowVisible() const override;
    bool hasSheet() const override { return sheetCount_ > 0; }
    void presentEmulatorWarning() override { emit emulatorWarningRequested(); }
    void presentCaptureNotice() override { emit captureNoticeRequested(); }
    bool grabKeyboard(bool grab) override;
    void grabMouse(bool grab) override;
    void handKeyOn(std::uint32_t nativeKey, DesktopChord chord) override;
    void forgetChordsWaiting() override { keyboard_.forgetWaiting(); }
    std::optional<std::uint32_t> displayTime() override { return DisplayWatch::shared().now(); }
    bool keyDown(std::uint32_t nativeKey) override {
        return nativeKey <= 0xff && keyboard_.isDown(std::uint8_t(nativeKey));
    }
    void closeWindow() override;

signals:
    void modelChanged();
    void keymapChanged();
    void sheetCountChanged();
    // Show the EmulatorWarningDialog over the window.
    void emulatorWarningRequested();
    // Show for a while how to get the locked pointer back.
    void captureNoticeRequested();

protected:
    void componentComplete() override;
    void itemChange(ItemChange change, const ItemChangeData& data) override;

private:
    // A new coordinator for a new model or keymap controller; attached while in a window.
    void rebuild();
    void follow(QQuickWindow* window);

    QPointer<QObject> model_;
    QPointer<KeymapController> keymap_;
    int sheetCount_ = 0;
    GrabFocusFilter grabFocus_;
    DesktopKeyboard keyboard_;
    // The window the mouse was grabbed for, while grabbed.
    QPointer<QQuickWindow> mouseGrabbing_;
    QtTimerSource ticks_{Qt::PreciseTimer};
    std::unique_ptr<InputCoordinator> coordinator_;
    // The window's and the application's signals while attached.
    QList<QMetaObject::Connection> observers_;
};

}  // namespace qm
