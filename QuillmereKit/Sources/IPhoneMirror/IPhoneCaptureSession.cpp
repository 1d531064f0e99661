#include "IPhoneMirror/IPhoneCaptureSession.h"

#include <QAudioDevice>
#include <QAudioInput>
#include <QAudioOutput>
#include <QCamera>
#include <QCameraDevice>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QVideoSink>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>
#include <vector>

#include <unistd.h>

#include "IPhoneMirror/IPhoneCaptureError.h"
#include "QuillmereCore/Log.h"

namespace qm {

namespace {

// NTSC's 30000/1001 is what a device means by 30.
constexpr float minimumFrameRate = 29.97f;

// A device node the user may not open (not in the video group). Other ids, and nodes that are
// gone, are left to the device lookup.
bool accessDenied(const std::string& deviceID) {
    return deviceID.starts_with('/') && ::access(deviceID.c_str(), R_OK | W_OK) != 0 &&
           errno == EACCES;
}

std::optional<QAudioDevice> audioInputNamedAfter(const QString& videoName) {
    // Every description contains an empty name.
    if (videoName.isEmpty()) {
        return std::nullopt;
    }
    for (const QAudioDevice& input : QMediaDevices::audioInputs()) {
        if (input.description().contains(videoName, Qt::CaseInsensitive)) {
            return input;
        }
    }
    return std::nullopt;
}

}  // namespace

// Destroyed in reverse: the capture session first, which stops the backend's threads before
// anything they deliver to goes.
struct IPhoneCaptureSession::Capture {
    explicit Capture(const QCameraDevice& device) : camera(device) {}

    QCamera camera;
    QVideoSink sink;
    std::optional<QAudioInput> audioInput;
    std::optional<QAudioOutput> audioOutput;
    QMediaCaptureSession session;
};

IPhoneCaptureSession::IPhoneCaptureSession(FrameHandler onFrame)
    : feed_(queue_, std::move(onFrame)) {}

IPhoneCaptureSession::~IPhoneCaptureSession() {
    capture_.reset();
    // Waits out a frame being converted: the owner may be gone once this returns.
    queue_.shutdown();
}

void IPhoneCaptureSession::start(const std::string& deviceID) {
    if (accessDenied(deviceID)) {
        throw IPhoneCaptureError::cameraAccessDenied();
    }
    const QList<QCameraDevice> inputs = QMediaDevices::videoInputs();
    const auto device = std::find_if(inputs.begin(), inputs.end(), [&](const QCameraDevice& input) {
        return input.id().toStdString() == deviceID;
    });
    if (device == inputs.end()) {
        throw IPhoneCaptureError::deviceGone();
    }
    auto capture = std::make_unique<Capture>(*device);
    if (!capture->camera.isAvailable()) {
        throw IPhoneCaptureError::cannotAddInput(device->description().toStdString());
    }

    const QList<QCameraFormat> formats = device->videoFormats();
    std::vector<FormatOffer> offers;
    offers.reserve(std::size_t(formats.size()));
    for (const QCameraFormat& format : formats) {
        offers.push_back({format.pixelFormat(), format.resolution(), format.maxFrameRate()});
    }
    if (const std::optional<std::size_t> chosen = preferredFormat(offers)) {
        capture->camera.setCameraFormat(formats[qsizetype(*chosen)]);
    }

    QObject::connect(&capture->camera, &QCamera::errorOccurred, &capture->camera,
                     [](QCamera::Error, const QString& message) {
                         Log::video().error("capture device failed: {}", message.toStdString());
                     });
    // The backend delivers on its own thread; only the reference crosses here.
    QObject::connect(
        &capture->sink, &QVideoSink::videoFrameChanged, &capture->sink,
        [this](const QVideoFrame& frame) { feed_.push(frame); }, Qt::DirectConnection);
    capture->session.setCamera(&capture->camera);
    capture->session.setVideoSink(&capture->sink);

    if (std::optional<QAudioDevice> sound = audioInputNamedAfter(device->description())) {
        capture->audioInput.emplace(*sound);
        capture->audioOutput.emplace(QMediaDevices::defaultAudioOutput());
        capture->audioOutput->setVolume(1.0f);
        capture->session.setAudioInput(&*capture->audioInput);
        capture->session.setAudioOutput(&*capture->audioOutput);
    }

    capture_ = std::move(capture);
    capture_->camera.start();
}

void IPhoneCaptureSession::stop() {
    if (capture_) {
        capture_->camera.stop();
    }
}

std::optional<std::size_t> IPhoneCaptureSession::preferredFormat(
    std::span<const FormatOffer> offers) {
    const auto area = [&](std::size_t i) {
        return qint64(offers[i].resolution.width()) * offers[i].resolution.height();
    };
    for (const QVideoFrameFormat::PixelFormat wanted :
         {QVideoFrameFormat::Format_NV12, QVideoFrameFormat::Format_YUV420P}) {
        std::optional<std::size_t> best;
        for (std::size_t i = 0; i < offers.size(); ++i) {
            if (offers[i].pixelFormat != wanted || offers[i].maxFrameRate < minimumFrameRate) {
                continue;
            }
            if (!best || area(i) > area(*best)) {
                best = i;
            }
        }
        if (best) {
            return best;
        }
    }
    return std::nullopt;
}

}  // namespace qm
