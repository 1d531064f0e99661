#include "VideoPipeline/CodecSession.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "VideoPipeline/AnnexB.h"
#include "VideoPipeline/VideoPipelineError.h"

namespace qm {

CodecSession::CodecSession() {
    packet_.reset(av_packet_alloc());
    if (!packet_) {
        throw std::bad_alloc();
    }
}

void CodecSession::open(const FormatDescription& format, int threadCount, const Prepare& prepare) {
    close();
    const AVCodecID id =
        format.mediaSubtype == FormatDescription::hvc1 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
    const AVCodec* codec = avcodec_find_decoder(id);
    if (!codec) {
        throw VideoPipelineError::decoderCreation(AVERROR_DECODER_NOT_FOUND);
    }
    CodecContextHandle context(avcodec_alloc_context3(codec));
    if (!context) {
        throw VideoPipelineError::decoderCreation(AVERROR(ENOMEM));
    }
    const std::size_t recordSize = format.configurationRecord.size();
    context->extradata =
        static_cast<std::uint8_t*>(av_mallocz(recordSize + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!context->extradata) {
        throw VideoPipelineError::decoderCreation(AVERROR(ENOMEM));
    }
    std::memcpy(context->extradata, format.configurationRecord.data(), recordSize);
    context->extradata_size = static_cast<int>(recordSize);
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    // No AV_EF_EXPLODE: it fails a whole picture over a harmless oddity (a truncated SEI), and
    // the next key frame may be seconds away. Damaged pictures still come out flagged as
    // corrupt, and receive() counts those as failures.
    // Slice threads only: frame threads would add a frame of delay per thread.
    context->thread_type = FF_THREAD_SLICE;
    context->thread_count = threadCount;
    context->pkt_timebase = AVRational{1, 1000000};
    if (prepare) {
        prepare(*context);
    }
    const int status = avcodec_open2(context.get(), codec, nullptr);
    if (status < 0) {
        throw VideoPipelineError::decoderCreation(status);
    }
    context_ = std::move(context);
}

int CodecSession::send(std::span<const ByteView> nalUnits, std::int64_t ptsMicros) {
    const std::size_t size = AnnexB::lengthPrefixedSize(nalUnits);
    if (size == 0 || size > std::size_t(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE) {
        return AVERROR_INVALIDDATA;
    }
    AVBufferRef* buffer = packetBuffer(size + AV_INPUT_BUFFER_PADDING_SIZE);
    if (!buffer) {
        return AVERROR(ENOMEM);
    }
    AnnexB::writeLengthPrefixed(nalUnits, {buffer->data, size});
    std::memset(buffer->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    AVPacket* packet = packet_.get();
    packet->buf = buffer;
    packet->data = buffer->data;
    packet->size = static_cast<int>(size);
    packet->pts = ptsMicros;
    packet->dts = ptsMicros;
    const int sent = avcodec_send_packet(context_.get(), packet);
    av_packet_unref(packet);
    return sent;
}

int CodecSession::receive(PixelBuffer& picture) {
    const int received = avcodec_receive_frame(context_.get(), picture.mutableFrame());
    if (received < 0) {
        return received;
    }
    const AVFrame* frame = picture.frame();
    if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
        return AVERROR_INVALIDDATA;
    }
    return 0;
}

AVBufferRef* CodecSession::packetBuffer(std::size_t size) {
    if (!packetPool_ || size > packetPoolSize_) {
        const std::size_t grown = std::max(size, packetPoolSize_ + packetPoolSize_ / 2);
        packetPool_.reset(av_buffer_pool_init(grown, nullptr));
        if (!packetPool_) {
            packetPoolSize_ = 0;
            return nullptr;
        }
        packetPoolSize_ = grown;
    }
    return av_buffer_pool_get(packetPool_.get());
}

}  // namespace qm
