#pragma once

#include <string>
#include <string_view>

#include "QuillmereCore/StreamTypes.h"

// The video benchmarks' clip: 600 frames of 1080p60 test pattern as the device server's encoder
// sends it (no B-frames, parameter sets before every key frame, one key frame a second), made
// with the ffmpeg command line at `path` unless it is there. `rateOptions` are ffmpeg's bit-rate
// options. Throws qm::bench::BenchFailure when ffmpeg fails.
void makeBenchClip(const std::string& path, std::string_view rateOptions,
                   qm::VideoCodec codec = qm::VideoCodec::h264);
