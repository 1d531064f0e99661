#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVCodecContext;
struct AVFrame;

namespace qm {

// The GPU under the VAAPI decoder backend, one library call per member, kept apart so that the
// backend's choice and every fallback run where no GPU exists. Used by one thread at a time.
class VaapiDevice {
public:
    virtual ~VaapiDevice() = default;

    // Opens `renderNode`, or the device the system offers when it is empty: 0 or the status.
    virtual int open(const std::string& renderNode) = 0;
    // Makes `context`, not yet opened, decode on the open device: 0 or the status.
    virtual int attach(AVCodecContext& context) = 0;
    // The pixel format of the device's decoded pictures.
    virtual AVPixelFormat surfaceFormat() const noexcept = 0;
    // 0 when the device decodes the stream `context` describes (codec, profile, size) into NV12
    // surfaces; asked while the context picks its pixel format.
    virtual int supports(AVCodecContext& context) = 0;
    // Copies a decoded surface into `picture`: NV12 in system memory, its planes allocated.
    virtual int transfer(const AVFrame& surface, AVFrame& picture) = 0;
};

// FFmpeg's VAAPI device.
std::unique_ptr<VaapiDevice> makeVaapiDevice();

}  // namespace qm
