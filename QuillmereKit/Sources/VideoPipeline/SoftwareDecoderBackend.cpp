#include "VideoPipeline/CodecSession.h"
#include "VideoPipeline/VideoDecoderBackend.h"

namespace qm {

namespace {

class SoftwareDecoderBackend final : public VideoDecoderBackend {
public:
    explicit SoftwareDecoderBackend(SoftwareDecoderOptions options) : options_(options) {}

    void createSession(const FormatDescription& format) override {
        session_.open(format, options_.threadCount);
    }

    void invalidateSession() noexcept override { session_.close(); }

    bool hasSession() const noexcept override { return session_.isOpen(); }

    std::int32_t decode(std::span<const ByteView> nalUnits, std::int64_t ptsMicros,
                        const PictureHandler& onPicture) override {
        if (!session_.isOpen()) {
            return sessionInvalidStatus;
        }
        return session_.decode(nalUnits, ptsMicros, pool_, [&](PixelBuffer&& picture) {
            onPicture(std::move(picture));
            return 0;
        });
    }

private:
    SoftwareDecoderOptions options_;
    CodecSession session_;
    FramePool pool_;
};

}  // namespace

std::unique_ptr<VideoDecoderBackend> makeSoftwareDecoderBackend(SoftwareDecoderOptions options) {
    return std::make_unique<SoftwareDecoderBackend>(options);
}

}  // namespace qm
