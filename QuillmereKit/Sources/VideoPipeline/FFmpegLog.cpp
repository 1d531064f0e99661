#include "VideoPipeline/FFmpegLog.h"

#include <cstdarg>
#include <string>

#include "QuillmereCore/Log.h"

extern "C" {
#include <libavutil/log.h>
}

namespace qm {

namespace {

// A line of a long dump is cut here: FFmpeg's lines are short.
constexpr std::size_t longestLine = 4096;

void toLog(void* context, int level, const char* format, va_list arguments) {
    if (level > av_log_get_level()) {
        return;
    }
    // A line may come in pieces, each call with its part.
    thread_local std::string pending;
    thread_local int printPrefix = 1;
    char piece[1024];
    av_log_format_line2(context, level, format, arguments, piece, sizeof piece, &printPrefix);
    pending += piece;
    if (pending.ends_with('\n') || pending.size() >= longestLine) {
        while (pending.ends_with('\n')) {
            pending.pop_back();
        }
        Log::video().debug("ffmpeg: {}", pending);
        pending.clear();
    }
}

}  // namespace

void routeFFmpegLog() {
    av_log_set_callback(toLog);
}

}  // namespace qm
