#!/usr/bin/env bash
# Makes the seeds of the annexb and capture_file fuzzers: three 64x64 frames per codec, raw and
# wrapped into a capture file. Usage: fuzz/seeds/make-video-seeds.sh BUILD_DIR (tests on).
set -euo pipefail
cd "$(dirname "$0")"
build=$(realpath "${1:-../../build/asan}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for codec in h264 hevc; do
    if [ "$codec" = h264 ]; then
        encoder=(-c:v libx264 -bf 0 -g 2 -x264-params repeat-headers=1)
    else
        encoder=(-c:v libx265 -x265-params "bframes=0:keyint=2:repeat-headers=1:log-level=error")
    fi
    ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=64x64:rate=10 -frames:v 3 \
        "${encoder[@]}" -pix_fmt yuv420p -f "$codec" "$work/tiny.$codec"
    cp "$work/tiny.$codec" "annexb/tiny-$codec"
    "$build/tools/make_qmstream" "$work/tiny.$codec" "capture_file/tiny-$codec.qmstream" 10 64 64
done
printf 'QMST\0\0\0\1h265' >capture_file/header-only
