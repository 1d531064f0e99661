#include "VideoPipeline/VaapiDecoderBackend.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/pixdesc.h>
}

#include "QuillmereCore/Log.h"
#include "VideoPipeline/AnnexB.h"
#include "VideoPipeline/CodecSession.h"
#include "VideoPipeline/PicturePool.h"
#include "VideoPipeline/VideoPipelineError.h"

namespace qm {

namespace {

// The access units since the last key frame, kept while they are few: a failing hardware
// decoder then hands over to software without losing a picture or asking for a key frame.
class ReplayLog {
public:
    explicit ReplayLog(std::size_t limit) : limit_(limit) {}

    void record(std::span<const ByteView> units, std::int64_t ptsMicros, bool randomAccess) {
        if (randomAccess) {
            clear();
            complete_ = true;
        }
        if (!complete_) {
            return;
        }
        std::size_t size = 0;
        for (ByteView unit : units) {
            size += unit.size();
        }
        if (entries_.size() >= limit_ || size > maxBytes - bytes_.size()) {
            clear();
            return;
        }
        entries_.push_back({units_.size(), units.size(), ptsMicros});
        for (ByteView unit : units) {
            units_.push_back({bytes_.size(), unit.size()});
            bytes_.insert(bytes_.end(), unit.begin(), unit.end());
        }
    }

    // Whether it holds every unit since a key frame.
    bool complete() const noexcept { return complete_; }

    void clear() noexcept {
        bytes_.clear();
        units_.clear();
        entries_.clear();
        complete_ = false;
    }

    // Hands each access unit to `decode` in order; stops at the first failure and returns it.
    template <class Decode>
    int replay(Decode&& decode) {
        for (const Entry& entry : entries_) {
            views_.clear();
            for (std::size_t i = entry.firstUnit; i < entry.firstUnit + entry.unitCount; ++i) {
                views_.push_back(ByteView(bytes_).subspan(units_[i].offset, units_[i].size));
            }
            if (const int status = decode(std::span<const ByteView>(views_), entry.ptsMicros);
                status != 0) {
                return status;
            }
        }
        return 0;
    }

private:
    static constexpr std::size_t maxBytes = std::size_t(16) << 20;

    struct Unit {
        std::size_t offset;
        std::size_t size;
    };
    struct Entry {
        std::size_t firstUnit;
        std::size_t unitCount;
        std::int64_t ptsMicros;
    };

    std::size_t limit_;
    bool complete_ = false;
    Bytes bytes_;
    std::vector<Unit> units_;
    std::vector<Entry> entries_;
    std::vector<ByteView> views_;
};

// Every stream, reconnection and demo pass makes a new backend: the same choice again is not
// news and goes to the debug level.
void logChoice(spdlog::level::level_enum level, const std::string& line) {
    static std::mutex mutex;
    static std::string last;
    std::lock_guard lock(mutex);
    Log::video().log(line == last ? spdlog::level::debug : level, line);
    last = line;
}

class VaapiDecoderBackend final : public VideoDecoderBackend {
public:
    VaapiDecoderBackend(HardwareDecodingOptions options, std::unique_ptr<VaapiDevice> device)
        : options_(std::move(options)),
          device_(std::move(device)),
          software_(makeSoftwareDecoderBackend(options_.software)),
          replay_(options_.replayLimit) {}

    void createSession(const FormatDescription& format) override {
        invalidateSession();
        format_ = format;
        if (mode_ == Mode::undecided) {
            choose();
        }
        if (mode_ == Mode::hardware) {
            try {
                openHardware(format);
                return;
            } catch (const VideoPipelineError& error) {
                useSoftware(fmt::format("the VAAPI decoder was not created: {}", error.message()));
            }
        }
        software_->createSession(format);
    }

    void invalidateSession() noexcept override {
        hardware_.close();
        software_->invalidateSession();
        replay_.clear();
    }

    bool hasSession() const noexcept override {
        return mode_ == Mode::hardware ? hardware_.isOpen() : software_->hasSession();
    }

    std::int32_t decode(std::span<const ByteView> nalUnits, std::int64_t ptsMicros,
                        const PictureHandler& onPicture) override {
        if (mode_ != Mode::hardware) {
            return software_->decode(nalUnits, ptsMicros, onPicture);
        }
        if (!hardware_.isOpen()) {
            return sessionInvalidStatus;
        }
        const bool randomAccess = std::ranges::any_of(
            nalUnits, [this](ByteView unit) { return AnnexB::isRandomAccess(codec_, unit); });
        if (randomAccess) {
            deliveredSinceKeyFrame_ = 0;
        }
        replay_.record(nalUnits, ptsMicros, randomAccess);
        fault_.clear();
        const int status = hardware_.decode(
            nalUnits, ptsMicros, surfaces_,
            [&](PixelBuffer&& surface) { return deliver(*surface.frame(), onPicture); });
        // A refused format may cost no status at all: the decoder drops the slices and waits.
        if (fault_.empty() && refusal_) {
            fault_ = *refusal_;
        }
        if (fault_.empty()) {
            // A damaged stream fails in software alike; the decoder's recovery handles it.
            if (status == 0 || status == AVERROR_INVALIDDATA) {
                return status;
            }
            fault_ = fmt::format("VAAPI decoding failed: {}", ffmpegErrorText(status));
        }
        return fallBack(onPicture);
    }

    DecoderKind kind() const noexcept override { return kind_.load(std::memory_order_relaxed); }

private:
    enum class Mode { undecided, hardware, software };

    void choose() {
        if (options_.forceSoftware) {
            useSoftware(fmt::format("{} is set", HardwareDecodingOptions::forceSoftwareVariable));
            return;
        }
        const int status = device_->open(options_.renderNode);
        if (status < 0) {
            useSoftware(options_.renderNode.empty()
                            ? fmt::format("no VAAPI device: {}", ffmpegErrorText(status))
                            : fmt::format("VAAPI device {} did not open: {}", options_.renderNode,
                                          ffmpegErrorText(status)));
            return;
        }
        mode_ = Mode::hardware;
    }

    void openHardware(const FormatDescription& format) {
        refusal_.reset();
        codec_ =
            format.mediaSubtype == FormatDescription::hvc1 ? VideoCodec::h265 : VideoCodec::h264;
        // One thread: the GPU decodes, slice threads would only wait.
        hardware_.open(format, 1, [this](AVCodecContext& context) {
            context.opaque = this;
            context.get_format = pickFormat;
            if (const int status = device_->attach(context); status < 0) {
                throw VideoPipelineError::decoderCreation(status);
            }
        });
        kind_.store(DecoderKind::vaapi, std::memory_order_relaxed);
    }

    static AVPixelFormat pickFormat(AVCodecContext* context, const AVPixelFormat* offered) {
        return static_cast<VaapiDecoderBackend*>(context->opaque)->pick(*context, offered);
    }

    AVPixelFormat pick(AVCodecContext& context, const AVPixelFormat* offered) {
        const AVPixelFormat surface = device_->surfaceFormat();
        bool isOffered = false;
        for (const AVPixelFormat* format = offered; *format != AV_PIX_FMT_NONE; ++format) {
            isOffered = isOffered || *format == surface;
        }
        // Only 8-bit 4:2:0 comes down as NV12, the layout the renderer draws.
        const bool eightBit420 =
            context.sw_pix_fmt == AV_PIX_FMT_YUV420P || context.sw_pix_fmt == AV_PIX_FMT_YUVJ420P;
        const int status = isOffered && eightBit420 ? device_->supports(context) : AVERROR(ENOSYS);
        const char* profile = avcodec_profile_name(context.codec_id, context.profile);
        const char* layout = av_get_pix_fmt_name(context.sw_pix_fmt);
        const std::string stream = fmt::format("{} {} {}x{} {}", avcodec_get_name(context.codec_id),
                                               profile ? profile : "profile ?", context.width,
                                               context.height, layout ? layout : "format ?");
        if (status < 0) {
            refusal_ = fmt::format("VAAPI does not decode {}: {}", stream, ffmpegErrorText(status));
            return AV_PIX_FMT_NONE;
        }
        if (!announced_) {
            announced_ = true;
            logChoice(spdlog::level::info, fmt::format("video decoder: VAAPI for {}", stream));
        }
        return surface;
    }

    int deliver(const AVFrame& surface, const PictureHandler& onPicture) {
        int width = surface.width;
        int height = surface.height;
        if (surface.hw_frames_ctx) {
            // The copy takes the surface as allocated, padding rows included.
            const auto* frames =
                reinterpret_cast<const AVHWFramesContext*>(surface.hw_frames_ctx->data);
            width = frames->width;
            height = frames->height;
        }
        PixelBuffer picture = pictures_.acquire(AV_PIX_FMT_NV12, width, height);
        int status = picture ? 0 : AVERROR(ENOMEM);
        if (picture) {
            AVFrame& copy = *picture.mutableFrame();
            copy.width = surface.width;
            copy.height = surface.height;
            status = device_->transfer(surface, copy);
            if (status >= 0) {
                status = av_frame_copy_props(&copy, &surface);
            }
        }
        if (status < 0) {
            fault_ =
                fmt::format("a picture did not come down from VAAPI: {}", ffmpegErrorText(status));
            return status;
        }
        ++deliveredSinceKeyFrame_;
        onPicture(std::move(picture));
        return 0;
    }

    void useSoftware(std::string_view reason) {
        hardware_.close();
        mode_ = Mode::software;
        kind_.store(DecoderKind::software, std::memory_order_relaxed);
        if (announced_) {
            logChoice(spdlog::level::warn,
                      fmt::format("video decoder: software from here on ({})", reason));
        } else {
            logChoice(spdlog::level::info, fmt::format("video decoder: software ({})", reason));
        }
        announced_ = true;
    }

    std::int32_t fallBack(const PictureHandler& onPicture) {
        useSoftware(fault_);
        if (!replay_.complete()) {
            // The decoder's recovery recreates the session, in software now, and asks the phone
            // for a key frame.
            return sessionInvalidStatus;
        }
        try {
            software_->createSession(format_);
        } catch (const VideoPipelineError&) {
            replay_.clear();
            return sessionInvalidStatus;
        }
        // Software starts again at the key frame; what the hardware delivered is not repeated.
        std::size_t skipped = deliveredSinceKeyFrame_;
        const PictureHandler skipping = [&](PixelBuffer&& picture) {
            if (skipped > 0) {
                --skipped;
                return;
            }
            onPicture(std::move(picture));
        };
        const int status =
            replay_.replay([&](std::span<const ByteView> units, std::int64_t ptsMicros) {
                return software_->decode(units, ptsMicros, skipping);
            });
        replay_.clear();
        return status;
    }

    const HardwareDecodingOptions options_;
    const std::unique_ptr<VaapiDevice> device_;
    const std::unique_ptr<VideoDecoderBackend> software_;
    Mode mode_ = Mode::undecided;
    std::atomic<DecoderKind> kind_{DecoderKind::software};
    bool announced_ = false;

    FormatDescription format_;
    VideoCodec codec_ = VideoCodec::h264;
    CodecSession hardware_;
    FramePool surfaces_;
    PicturePool pictures_;
    ReplayLog replay_;
    std::size_t deliveredSinceKeyFrame_ = 0;
    std::optional<std::string> refusal_;  // why the last format pick refused the device
    std::string fault_;                   // why the current decode failed on the device
};

}  // namespace

HardwareDecodingOptions HardwareDecodingOptions::fromEnvironment(
    const std::function<const char*(const char*)>& lookup) {
    HardwareDecodingOptions options;
    const char* force = lookup(forceSoftwareVariable);
    options.forceSoftware = force && *force && std::string_view(force) != "0";
    if (const char* node = lookup(renderNodeVariable)) {
        options.renderNode = node;
    }
    return options;
}

std::unique_ptr<VideoDecoderBackend> makeVaapiDecoderBackend(HardwareDecodingOptions options,
                                                             std::unique_ptr<VaapiDevice> device) {
    return std::make_unique<VaapiDecoderBackend>(std::move(options), std::move(device));
}

std::unique_ptr<VideoDecoderBackend> makePreferredDecoderBackend() {
    return makeVaapiDecoderBackend(HardwareDecodingOptions::fromEnvironment(std::getenv),
                                   makeVaapiDevice());
}

}  // namespace qm
