#include "IPhoneMirror/CaptureFrameConverter.h"

#include <QVideoFrame>
#include <QVideoFrameFormat>
#include <string_view>
#include <utility>

extern "C" {
#include <libavutil/common.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "QuillmereCore/Log.h"

namespace qm {

namespace {

struct RawFormat {
    QVideoFrameFormat::PixelFormat qt;
    AVPixelFormat av;
    bool chromaSwapped;  // V before U
};

// Qt names packed formats by byte order, as FFmpeg does.
constexpr RawFormat rawFormats[] = {
    {QVideoFrameFormat::Format_NV12, AV_PIX_FMT_NV12, false},
    {QVideoFrameFormat::Format_YUV420P, AV_PIX_FMT_YUV420P, false},
    {QVideoFrameFormat::Format_YV12, AV_PIX_FMT_YUV420P, true},
    {QVideoFrameFormat::Format_NV21, AV_PIX_FMT_NV21, false},
    {QVideoFrameFormat::Format_YUV422P, AV_PIX_FMT_YUV422P, false},
    {QVideoFrameFormat::Format_YUYV, AV_PIX_FMT_YUYV422, false},
    {QVideoFrameFormat::Format_UYVY, AV_PIX_FMT_UYVY422, false},
    {QVideoFrameFormat::Format_YUV420P10, AV_PIX_FMT_YUV420P10LE, false},
    {QVideoFrameFormat::Format_P010, AV_PIX_FMT_P010LE, false},
    {QVideoFrameFormat::Format_P016, AV_PIX_FMT_P016LE, false},
    {QVideoFrameFormat::Format_Y8, AV_PIX_FMT_GRAY8, false},
    {QVideoFrameFormat::Format_Y16, AV_PIX_FMT_GRAY16LE, false},
    {QVideoFrameFormat::Format_ARGB8888, AV_PIX_FMT_ARGB, false},
    {QVideoFrameFormat::Format_ARGB8888_Premultiplied, AV_PIX_FMT_ARGB, false},
    {QVideoFrameFormat::Format_XRGB8888, AV_PIX_FMT_0RGB, false},
    {QVideoFrameFormat::Format_BGRA8888, AV_PIX_FMT_BGRA, false},
    {QVideoFrameFormat::Format_BGRA8888_Premultiplied, AV_PIX_FMT_BGRA, false},
    {QVideoFrameFormat::Format_BGRX8888, AV_PIX_FMT_BGR0, false},
    {QVideoFrameFormat::Format_ABGR8888, AV_PIX_FMT_ABGR, false},
    {QVideoFrameFormat::Format_XBGR8888, AV_PIX_FMT_0BGR, false},
    {QVideoFrameFormat::Format_RGBA8888, AV_PIX_FMT_RGBA, false},
    {QVideoFrameFormat::Format_RGBX8888, AV_PIX_FMT_RGB0, false},
};

const RawFormat* rawFormat(QVideoFrameFormat::PixelFormat format) {
    for (const RawFormat& raw : rawFormats) {
        if (raw.qt == format) {
            return &raw;
        }
    }
    return nullptr;
}

AVColorSpace colorSpace(QVideoFrameFormat::ColorSpace space) {
    switch (space) {
        case QVideoFrameFormat::ColorSpace_BT601:
            return AVCOL_SPC_SMPTE170M;
        case QVideoFrameFormat::ColorSpace_BT709:
            return AVCOL_SPC_BT709;
        case QVideoFrameFormat::ColorSpace_BT2020:
            return AVCOL_SPC_BT2020_NCL;
        default:
            return AVCOL_SPC_UNSPECIFIED;
    }
}

AVColorRange colorRange(QVideoFrameFormat::ColorRange range) {
    switch (range) {
        case QVideoFrameFormat::ColorRange_Full:
            return AVCOL_RANGE_JPEG;
        case QVideoFrameFormat::ColorRange_Video:
            return AVCOL_RANGE_MPEG;
        default:
            return AVCOL_RANGE_UNSPECIFIED;
    }
}

class MapGuard {
public:
    explicit MapGuard(QVideoFrame& frame) : frame_(frame) {}
    ~MapGuard() { frame_.unmap(); }
    MapGuard(const MapGuard&) = delete;
    MapGuard& operator=(const MapGuard&) = delete;

private:
    QVideoFrame& frame_;
};

}  // namespace

void CaptureFrameConverter::SwsFree::operator()(SwsContext* context) const noexcept {
    sws_freeContext(context);
}

CaptureFrameConverter::CaptureFrameConverter() = default;
CaptureFrameConverter::~CaptureFrameConverter() = default;

bool CaptureFrameConverter::holdsPicture(const Planes& planes, AVPixelFormat format, int width,
                                         int height) {
    if (width < 1 || height < 1 || width > maxSide || height > maxSide) {
        return false;
    }
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (!descriptor || planes.count != av_pix_fmt_count_planes(format)) {
        return false;
    }
    int rowBytes[4] = {};
    if (av_image_fill_linesizes(rowBytes, format, width) < 0) {
        return false;
    }
    for (int i = 0; i < planes.count; ++i) {
        const int rows =
            i == 1 || i == 2 ? AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h) : height;
        const int stride = planes.bytesPerLine[i];
        if (!planes.data[i] || stride < rowBytes[i] ||
            std::int64_t(stride) * (rows - 1) + rowBytes[i] > planes.mappedBytes[i]) {
            return false;
        }
    }
    return true;
}

std::optional<DecodedFrame> CaptureFrameConverter::convert(QVideoFrame& frame,
                                                           std::uint64_t arrivedAtNanos) {
    if (!frame.map(QVideoFrame::ReadOnly)) {
        dropped(Drop::unmappable);
        return std::nullopt;
    }
    const MapGuard mapped(frame);
    const QVideoFrameFormat::PixelFormat pixelFormat = frame.pixelFormat();
    if (pixelFormat == QVideoFrameFormat::Format_Jpeg) {
        dropped(Drop::compressed);
        return std::nullopt;
    }
    const RawFormat* raw = rawFormat(pixelFormat);
    if (!raw) {
        dropped(Drop::unsupported);
        return std::nullopt;
    }
    const int width = frame.width();
    const int height = frame.height();
    Planes planes;
    planes.count = frame.planeCount();
    for (int i = 0; i < planes.count && i < 4; ++i) {
        planes.data[i] = std::as_const(frame).bits(i);
        planes.bytesPerLine[i] = frame.bytesPerLine(i);
        planes.mappedBytes[i] = frame.mappedBytes(i);
    }
    if (raw->chromaSwapped) {
        std::swap(planes.data[1], planes.data[2]);
        std::swap(planes.bytesPerLine[1], planes.bytesPerLine[2]);
        std::swap(planes.mappedBytes[1], planes.mappedBytes[2]);
    }
    if (!holdsPicture(planes, raw->av, width, height)) {
        dropped(Drop::malformed);
        return std::nullopt;
    }

    const bool copied = raw->av == AV_PIX_FMT_NV12 || raw->av == AV_PIX_FMT_YUV420P;
    const AVPixelFormat output = copied ? raw->av : AV_PIX_FMT_NV12;
    PixelBuffer buffer = pictures_.acquire(output, width, height);
    if (!buffer) {
        return std::nullopt;
    }
    AVFrame* picture = buffer.mutableFrame();
    const QVideoFrameFormat surface = frame.surfaceFormat();
    picture->colorspace = colorSpace(surface.colorSpace());
    picture->color_range = colorRange(surface.colorRange());
    if (copied) {
        av_image_copy(picture->data, picture->linesize, planes.data.data(),
                      planes.bytesPerLine.data(), output, width, height);
    } else {
        scaler_.reset(sws_getCachedContext(scaler_.release(), width, height, raw->av, width, height,
                                           output, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!scaler_) {
            dropped(Drop::unsupported);
            return std::nullopt;
        }
        sws_scale(scaler_.get(), planes.data.data(), planes.bytesPerLine.data(), 0, height,
                  picture->data, picture->linesize);
        if (av_pix_fmt_desc_get(raw->av)->flags & AV_PIX_FMT_FLAG_RGB) {
            // What the scaler makes of RGB by default.
            picture->colorspace = AVCOL_SPC_SMPTE170M;
            picture->color_range = AVCOL_RANGE_MPEG;
        }
    }
    const qint64 start = frame.startTime();
    return DecodedFrame{std::move(buffer), start >= 0 ? start : 0, arrivedAtNanos};
}

void CaptureFrameConverter::dropped(Drop reason) {
    const auto index = static_cast<std::size_t>(reason);
    if (logged_.test(index)) {
        return;
    }
    logged_.set(index);
    static constexpr std::string_view reasons[] = {"it could not be mapped", "it is compressed",
                                                   "its pixel format is not supported",
                                                   "its planes do not hold the picture"};
    Log::video().warn("captured frame dropped: {}; later drops of this kind are not logged",
                      reasons[index]);
}

}  // namespace qm
