#include "VideoPipeline/VaapiDevice.h"

#include "VideoPipeline/FFmpegHandles.h"

extern "C" {
#include <libavutil/hwcontext.h>
}

namespace qm {

namespace {

struct BufferFree {
    void operator()(AVBufferRef* buffer) const noexcept { av_buffer_unref(&buffer); }
};
using BufferHandle = std::unique_ptr<AVBufferRef, BufferFree>;

class SystemVaapiDevice final : public VaapiDevice {
public:
    int open(const std::string& renderNode) override {
        AVBufferRef* device = nullptr;
        const int status =
            av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI,
                                   renderNode.empty() ? nullptr : renderNode.c_str(), nullptr, 0);
        device_.reset(device);
        return status;
    }

    int attach(AVCodecContext& context) override {
        context.hw_device_ctx = av_buffer_ref(device_.get());
        return context.hw_device_ctx ? 0 : AVERROR(ENOMEM);
    }

    AVPixelFormat surfaceFormat() const noexcept override { return AV_PIX_FMT_VAAPI; }

    int supports(AVCodecContext& context) override {
        // The decoder's own check: it maps the stream's profile to the device's and holds the
        // coded size against that profile's frame constraints.
        AVBufferRef* frames = nullptr;
        const int status =
            avcodec_get_hw_frames_parameters(&context, device_.get(), AV_PIX_FMT_VAAPI, &frames);
        const BufferHandle owned(frames);
        if (status < 0) {
            return status;
        }
        const auto* parameters = reinterpret_cast<const AVHWFramesContext*>(frames->data);
        return parameters->sw_format == AV_PIX_FMT_NV12 ? 0 : AVERROR(ENOSYS);
    }

    int transfer(const AVFrame& surface, AVFrame& picture) override {
        return av_hwframe_transfer_data(&picture, &surface, 0);
    }

private:
    BufferHandle device_;
};

}  // namespace

std::unique_ptr<VaapiDevice> makeVaapiDevice() {
    return std::make_unique<SystemVaapiDevice>();
}

}  // namespace qm
