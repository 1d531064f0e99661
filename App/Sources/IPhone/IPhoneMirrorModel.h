#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include <QtQml/qqmlregistration.h>

#include "IPhoneMirror/IPhoneCaptureSession.h"
#include "IPhoneMirror/TimerSource.h"
#include "Storage/AppSettings.h"
#include "VideoPipeline/LatestFrameSlot.h"
#include "VideoPipeline/View/VideoView.h"

namespace qm {

// The iPhone screen's state: owns the capture, hands its frames to the video item and counts
// the frames drawn each second. GUI thread; frames arrive on the capture's queue.
class IPhoneMirrorModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(int fps READ fps NOTIFY fpsChanged)
    // Empty until a start fails.
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    // The VideoView the frames are drawn into.
    Q_PROPERTY(QQuickItem* view READ view WRITE setView NOTIFY viewChanged)
    // Where the view's upscaling comes from.
    Q_PROPERTY(AppSettings* settings READ settings WRITE setSettings NOTIFY settingsChanged)

public:
    // What the model needs of a capture session.
    class Capture {
    public:
        virtual ~Capture() = default;
        // Throws IPhoneCaptureError, or anything else the device throws.
        virtual void start(const std::string& deviceID) = 0;
        virtual void stop() = 0;
    };
    using FrameHandler = IPhoneCaptureSession::FrameHandler;
    // `onFrame` may be called on any thread until the capture is destroyed.
    using CaptureFactory = std::function<std::unique_ptr<Capture>(FrameHandler onFrame)>;

    // Captures with IPhoneCaptureSession and ticks on a timer of `ticks()`.
    explicit IPhoneMirrorModel(QObject* parent = nullptr);
    IPhoneMirrorModel(CaptureFactory makeCapture, std::unique_ptr<OneShotTimer> ticker,
                      QObject* parent = nullptr);
    ~IPhoneMirrorModel() override;

    int fps() const noexcept { return fps_; }
    const QString& error() const noexcept { return error_; }
    QQuickItem* view() const { return view_; }
    void setView(QQuickItem* view);
    AppSettings* settings() const { return settings_; }
    void setSettings(AppSettings* settings);

    // Stops a running capture, then captures that device; a failure shows as error.
    Q_INVOKABLE void start(const QString& deviceID);
    // Stops capturing and ticking; fps and error stay.
    Q_INVOKABLE void stop();

    // The user's text for a failed start.
    static QString message(const std::exception_ptr& error);
    // "60 fps · iPhone · beta".
    Q_INVOKABLE static QString hudText(int fps, const QString& name);
    // Where the app's model gets its once-a-second timer.
    static QtTimerSource ticks();

signals:
    void fpsChanged();
    void errorChanged();
    void viewChanged();
    void settingsChanged();

private:
    // All the capture queue touches: the slot, and the model, which only the GUI thread reads.
    struct Relay {
        LatestFrameSlot slot;
        QPointer<IPhoneMirrorModel> model;
    };

    static void deliver(const std::shared_ptr<Relay>& relay, DecodedFrame frame);
    void drawLatest();
    void scheduleTick();
    void applyUpscale();

    const CaptureFactory makeCapture_;
    const std::unique_ptr<OneShotTimer> ticker_;
    const std::shared_ptr<Relay> relay_ = std::make_shared<Relay>();
    std::unique_ptr<Capture> capture_;
    QPointer<VideoView> view_;
    QPointer<AppSettings> settings_;
    int fps_ = 0;
    int frames_ = 0;  // drawn since the last tick
    QString error_;
};

}  // namespace qm
