#pragma once

#include <QSize>
#include <QVideoFrameFormat>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "IPhoneMirror/CaptureFrameFeed.h"
#include "QuillmereCore/SerialQueue.h"
#include "VideoPipeline/DecodedFrame.h"

namespace qm {

// Captures one video input into decoded frames for the renderer, and plays the sound of the
// audio input that belongs to it. Made, started, stopped and destroyed on the main thread;
// frames reach `onFrame` on the session's own queue, until the session is destroyed.
class IPhoneCaptureSession {
public:
    using FrameHandler = CaptureFrameFeed::FrameHandler;

    // A size and pixel format a video input offers.
    struct FormatOffer {
        QVideoFrameFormat::PixelFormat pixelFormat = QVideoFrameFormat::Format_Invalid;
        QSize resolution;
        float maxFrameRate = 0;
    };

    explicit IPhoneCaptureSession(FrameHandler onFrame);
    ~IPhoneCaptureSession();
    IPhoneCaptureSession(const IPhoneCaptureSession&) = delete;
    IPhoneCaptureSession& operator=(const IPhoneCaptureSession&) = delete;

    // Access to video devices is the device node's permissions, which start() checks.
    static bool requestAccess() noexcept { return true; }

    // Opens the input with that id (an IPhoneDevice id) and starts capturing; throws
    // IPhoneCaptureError.
    void start(const std::string& deviceID);
    // Stops capturing; the input and its sound stay attached.
    void stop();

    // The largest size offered at 30 frames a second or more in NV12, else in YUV420P; none
    // when neither is offered that fast, and the input keeps its default.
    static std::optional<std::size_t> preferredFormat(std::span<const FormatOffer> offers);

private:
    struct Capture;

    SerialQueue queue_{"iphone.capture"};
    CaptureFrameFeed feed_;
    std::unique_ptr<Capture> capture_;
};

}  // namespace qm
