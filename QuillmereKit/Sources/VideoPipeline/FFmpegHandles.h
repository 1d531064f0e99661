#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/buffer.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

namespace qm {

// Owners of libavcodec and libavutil objects, for the decoder and the recorder alike.
struct CodecContextFree {
    void operator()(AVCodecContext* context) const noexcept { avcodec_free_context(&context); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const noexcept { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const noexcept { av_frame_free(&frame); }
};
struct BufferPoolFree {
    // Buffers still held elsewhere keep the pool alive until they come back.
    void operator()(AVBufferPool* pool) const noexcept { av_buffer_pool_uninit(&pool); }
};
struct AudioFifoFree {
    void operator()(AVAudioFifo* fifo) const noexcept { av_audio_fifo_free(fifo); }
};
struct DictionaryFree {
    void operator()(AVDictionary* dictionary) const noexcept { av_dict_free(&dictionary); }
};

using CodecContextHandle = std::unique_ptr<AVCodecContext, CodecContextFree>;
using PacketHandle = std::unique_ptr<AVPacket, PacketFree>;
using FrameHandle = std::unique_ptr<AVFrame, FrameFree>;
using BufferPoolHandle = std::unique_ptr<AVBufferPool, BufferPoolFree>;
using AudioFifoHandle = std::unique_ptr<AVAudioFifo, AudioFifoFree>;
using DictionaryHandle = std::unique_ptr<AVDictionary, DictionaryFree>;

// av_err2str for C++, whose compound literals it cannot use.
inline std::string ffmpegErrorText(int status) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, text, sizeof text);
    return text;
}

}  // namespace qm
