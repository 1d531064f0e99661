#pragma once

#include <memory>
#include <string>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

#include <fmt/format.h>

#include "Recorder/RecorderError.h"

namespace qm {

// Owners of the FFmpeg objects of a recording, and how their failures read.
struct OutputContextFree {
    // The file closes with the context; whatever the muxer holds back is lost.
    void operator()(AVFormatContext* context) const noexcept {
        avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct CodecContextFree {
    void operator()(AVCodecContext* context) const noexcept { avcodec_free_context(&context); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const noexcept { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const noexcept { av_frame_free(&frame); }
};
struct AudioFifoFree {
    void operator()(AVAudioFifo* fifo) const noexcept { av_audio_fifo_free(fifo); }
};
struct DictionaryFree {
    void operator()(AVDictionary* dictionary) const noexcept { av_dict_free(&dictionary); }
};

using OutputContextHandle = std::unique_ptr<AVFormatContext, OutputContextFree>;
using CodecContextHandle = std::unique_ptr<AVCodecContext, CodecContextFree>;
using PacketHandle = std::unique_ptr<AVPacket, PacketFree>;
using FrameHandle = std::unique_ptr<AVFrame, FrameFree>;
using AudioFifoHandle = std::unique_ptr<AVAudioFifo, AudioFifoFree>;
using DictionaryHandle = std::unique_ptr<AVDictionary, DictionaryFree>;

// av_err2str for C++, whose compound literals it cannot use.
inline std::string errorText(int status) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, text, sizeof text);
    return text;
}

[[noreturn]] inline void throwCannotStart(std::string_view what, int status) {
    throw RecorderError::cannotStart(fmt::format("{}: {}", what, errorText(status)));
}

}  // namespace qm
