#!/usr/bin/env bash
# Makes the seeds of the sps_size fuzzer: the first sequence parameter set of each video
# fixture, as a NAL unit without its start code.
set -euo pipefail
cd "$(dirname "$0")"
fixtures=../../QuillmereKit/Tests/Fixtures
sps() {  # fixture, format, SPS type, seed
    ffmpeg -hide_banner -loglevel error -f "$2" -i "$fixtures/$1" -c copy \
        -bsf:v filter_units=pass_types="$3" -frames:v 1 -f "$2" - | tail -c +5 >"sps_size/$4"
}
sps h264-720p.h264 h264 7 h264-720p
sps h264-rotate.h264 h264 7 h264-portrait
sps hevc-720p.h265 hevc 33 hevc-720p
