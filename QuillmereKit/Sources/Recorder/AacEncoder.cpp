#include "Recorder/AacEncoder.h"

#include <algorithm>
#include <array>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <fmt/format.h>

#include "Recorder/RecorderError.h"

namespace qm {

AacEncoder::AacEncoder(int channels, PacketSink sink)
    : channels_(channels), sink_(std::move(sink)) {
    if (channels < 1 || channels > 8) {
        throw RecorderError::cannotStart(fmt::format("audio format {} channels", channels));
    }
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec) {
        throw RecorderError::cannotStart("aac encoder", AVERROR_ENCODER_NOT_FOUND);
    }
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!context_ || !frame_ || !packet_) {
        throw RecorderError::cannotStart("aac encoder", AVERROR(ENOMEM));
    }
    AVCodecContext& context = *context_;
    context.sample_fmt = AV_SAMPLE_FMT_FLTP;
    context.sample_rate = sampleRate;
    context.bit_rate = bitRate;
    context.time_base = AVRational{1, sampleRate};
    context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // the MP4 track holds the decoder config
    av_channel_layout_default(&context.ch_layout, channels);
    if (const int status = avcodec_open2(&context, codec, nullptr); status < 0) {
        throw RecorderError::cannotStart("aac encoder", status);
    }

    fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels, context.frame_size));
    frame_->format = AV_SAMPLE_FMT_FLTP;
    frame_->sample_rate = sampleRate;
    frame_->nb_samples = context.frame_size;
    av_channel_layout_copy(&frame_->ch_layout, &context.ch_layout);
    if (!fifo_) {
        throw RecorderError::cannotStart("aac encoder", AVERROR(ENOMEM));
    }
    if (const int status = av_frame_get_buffer(frame_.get(), 0); status < 0) {
        throw RecorderError::cannotStart("aac encoder", status);
    }
    planes_.resize(static_cast<std::size_t>(context.frame_size) * channels_);
}

int AacEncoder::encode(std::int64_t silenceFrames, ByteView pcm) {
    const std::size_t bytesPerFrame = 2 * static_cast<std::size_t>(channels_);
    std::int64_t pcmFrames = static_cast<std::int64_t>(pcm.size() / bytesPerFrame);
    const std::uint8_t* next = pcm.data();
    int result = 0;
    // One frame at most waits in the FIFO: a long silence or packet is encoded as it goes in.
    while (silenceFrames > 0 || pcmFrames > 0) {
        const int room = context_->frame_size - av_audio_fifo_size(fifo_.get());
        if (silenceFrames > 0) {
            const int frames = static_cast<int>(std::min<std::int64_t>(silenceFrames, room));
            result = std::min(result, fill(frames, nullptr));
            silenceFrames -= frames;
        } else {
            const int frames = static_cast<int>(std::min<std::int64_t>(pcmFrames, room));
            result = std::min(result, fill(frames, next));
            next += static_cast<std::size_t>(frames) * bytesPerFrame;
            pcmFrames -= frames;
        }
    }
    return result;
}

int AacEncoder::skip(std::int64_t frames) {
    int result = 0;
    if (const int queued = av_audio_fifo_size(fifo_.get()); queued > 0) {
        const std::int64_t padding = std::min<std::int64_t>(frames, context_->frame_size - queued);
        result = encode(padding, {});
        frames -= padding;
    }
    if (frames > 0) {
        skips_.push_back({framesIn_, frames});
    }
    return result;
}

int AacEncoder::fill(int frames, const std::uint8_t* pcm) {
    const std::size_t planeSize = static_cast<std::size_t>(context_->frame_size);
    std::array<void*, 8> planes{};
    for (int channel = 0; channel < channels_; ++channel) {
        float* plane = planes_.data() + static_cast<std::size_t>(channel) * planeSize;
        planes[static_cast<std::size_t>(channel)] = plane;
        if (!pcm) {
            std::fill_n(plane, frames, 0.0f);
            continue;
        }
        const std::uint8_t* sample = pcm + 2 * channel;
        for (int i = 0; i < frames; ++i, sample += 2 * channels_) {
            const auto value = static_cast<std::int16_t>(sample[0] | (sample[1] << 8));
            plane[i] = static_cast<float>(value) * (1.0f / 32768.0f);
        }
    }
    if (av_audio_fifo_write(fifo_.get(), planes.data(), frames) < frames) {
        return AVERROR(ENOMEM);
    }
    return av_audio_fifo_size(fifo_.get()) == context_->frame_size ? encodeQueued() : 0;
}

int AacEncoder::encodeQueued() {
    const int frames = av_audio_fifo_size(fifo_.get());
    frame_->nb_samples = context_->frame_size;
    if (const int status = av_frame_make_writable(frame_.get()); status < 0) {
        return status;
    }
    av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), frames);
    frame_->nb_samples = frames;
    frame_->pts = framesIn_;
    framesIn_ += frames;
    if (const int status = avcodec_send_frame(context_.get(), frame_.get()); status < 0) {
        return status;
    }
    return drain();
}

int AacEncoder::drain() {
    for (;;) {
        const int status = avcodec_receive_packet(context_.get(), packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) {
            return 0;
        }
        if (status < 0) {
            return status;
        }
        // The priming comes first: a packet carries the input from that much before its place.
        const std::int64_t firstFrame =
            packetsOut_ * context_->frame_size - context_->initial_padding;
        while (!skips_.empty() && skips_.front().fromFrame <= firstFrame) {
            skippedOut_ += skips_.front().frames;
            skips_.pop_front();
        }
        AVPacket& packet = *packet_;
        packet.pts = packet.dts = firstFrame + skippedOut_;
        packet.duration = context_->frame_size;
        ++packetsOut_;
        sink_(packet);
        av_packet_unref(&packet);
    }
}

int AacEncoder::finish() {
    int result = av_audio_fifo_size(fifo_.get()) > 0 ? encodeQueued() : 0;
    if (const int status = avcodec_send_frame(context_.get(), nullptr); status < 0) {
        return std::min(result, status);
    }
    return std::min(result, drain());
}

}  // namespace qm
