#include "IPhoneMirrorModel.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdint>
#include <utility>

#include "IPhoneMirror/IPhoneCaptureError.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm {

namespace {

class SessionCapture final : public IPhoneMirrorModel::Capture {
public:
    explicit SessionCapture(IPhoneMirrorModel::FrameHandler onFrame)
        : session_(std::move(onFrame)) {}

    void start(const std::string& deviceID) override { session_.start(deviceID); }
    void stop() override { session_.stop(); }

private:
    IPhoneCaptureSession session_;
};

}  // namespace

IPhoneMirrorModel::IPhoneMirrorModel(QObject* parent)
    : IPhoneMirrorModel(
          [](FrameHandler onFrame) { return std::make_unique<SessionCapture>(std::move(onFrame)); },
          ticks().makeTimer(), parent) {}

IPhoneMirrorModel::IPhoneMirrorModel(CaptureFactory makeCapture,
                                     std::unique_ptr<OneShotTimer> ticker, QObject* parent)
    : QObject(parent), makeCapture_(std::move(makeCapture)), ticker_(std::move(ticker)) {
    relay_->model = this;
}

IPhoneMirrorModel::~IPhoneMirrorModel() {
    stop();
}

void IPhoneMirrorModel::setView(QQuickItem* view) {
    auto* videoView = qobject_cast<VideoView*>(view);
    if (videoView == view_) {
        return;
    }
    view_ = videoView;
    applyUpscale();
    emit viewChanged();
}

void IPhoneMirrorModel::setSettings(AppSettings* settings) {
    if (settings == settings_) {
        return;
    }
    if (settings_) {
        disconnect(settings_, nullptr, this, nullptr);
    }
    settings_ = settings;
    if (settings_) {
        connect(settings_, &AppSettings::gpuUpscalingChanged, this,
                &IPhoneMirrorModel::applyUpscale);
        connect(settings_, &AppSettings::sharpnessChanged, this, &IPhoneMirrorModel::applyUpscale);
    }
    applyUpscale();
    emit settingsChanged();
}

void IPhoneMirrorModel::start(const QString& deviceID) {
    stop();
    capture_ =
        makeCapture_([relay = relay_](DecodedFrame frame) { deliver(relay, std::move(frame)); });
    try {
        capture_->start(deviceID.toStdString());
    } catch (...) {
        const QString text = message(std::current_exception());
        if (text != error_) {
            error_ = text;
            emit errorChanged();
        }
        return;
    }
    scheduleTick();
}

void IPhoneMirrorModel::stop() {
    if (capture_) {
        capture_->stop();
        capture_.reset();
    }
    ticker_->cancel();
}

QString IPhoneMirrorModel::message(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const IPhoneCaptureError& failure) {
        switch (failure.kind()) {
            case IPhoneCaptureErrorKind::cameraAccessDenied:
                return tr(
                    "Vantorel needs camera access to show the iPhone's screen (Linux treats "
                    "the iPhone as a camera). Allow it by adding your user to the video "
                    "group, then log in again.");
            case IPhoneCaptureErrorKind::deviceGone:
                return tr("The iPhone was disconnected.");
            case IPhoneCaptureErrorKind::cannotAddInput:
                break;
        }
    } catch (...) {
    }
    return tr("Couldn't open the iPhone's screen. Unplug it, plug it back in and try again.");
}

QString IPhoneMirrorModel::hudText(int fps, const QString& name) {
    // The capture device names itself.
    return QString::number(fps) + QStringLiteral(" fps · ") +
           QString::fromStdString(UnicodeText::excerpt(name.toStdString())) +
           QStringLiteral(" · beta");
}

QtTimerSource IPhoneMirrorModel::ticks() {
    // A coarse timer fires up to 5% off: the count would be of 950 to 1050 ms.
    return QtTimerSource(Qt::PreciseTimer);
}

void IPhoneMirrorModel::deliver(const std::shared_ptr<Relay>& relay, DecodedFrame frame) {
    // An undrawn frame was replaced: the hop already posted draws this one.
    if (relay->slot.put(std::move(frame))) {
        return;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [relay] {
            if (relay->model) {
                relay->model->drawLatest();
            }
        },
        Qt::QueuedConnection);
}

void IPhoneMirrorModel::drawLatest() {
    const std::optional<DecodedFrame> frame = relay_->slot.take();
    if (!frame) {
        return;
    }
    ++frames_;
    if (view_) {
        view_->show(*frame, [](std::uint64_t) {});
    }
}

void IPhoneMirrorModel::scheduleTick() {
    ticker_->start(std::chrono::seconds(1), [this] {
        const int drawn = std::exchange(frames_, 0);
        if (drawn != fps_) {
            fps_ = drawn;
            emit fpsChanged();
        }
        scheduleTick();
    });
}

void IPhoneMirrorModel::applyUpscale() {
    if (view_ && settings_ && view_->upscale() != settings_->upscale()) {
        view_->setUpscale(settings_->upscale());
    }
}

}  // namespace qm
