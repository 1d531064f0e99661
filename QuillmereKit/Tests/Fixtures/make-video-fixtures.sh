#!/usr/bin/env bash
# Makes the small video fixtures of the media tests once; the outputs are committed.
# Raw Annex B elementary streams as the device server's encoder sends them: no B-frames,
# parameter sets repeated before every key frame, a key frame every 10 frames.
set -euo pipefail
cd "$(dirname "$0")"

common=(-hide_banner -loglevel error -y)
x264=(-c:v libx264 -preset veryfast -tune zerolatency -bf 0 -g 10 -pix_fmt yuv420p -b:v 1M
      -x264-params repeat-headers=1)
x265=(-c:v libx265 -preset veryfast -tune zerolatency -pix_fmt yuv420p -b:v 1M
      -x265-params "bframes=0:keyint=10:min-keyint=10:repeat-headers=1:log-level=error")

# 1 s of 1280x720 at 30 fps.
ffmpeg "${common[@]}" -f lavfi -i testsrc2=size=1280x720:rate=30:duration=1 "${x264[@]}" \
    -f h264 h264-720p.h264
ffmpeg "${common[@]}" -f lavfi -i testsrc2=size=1280x720:rate=30:duration=1 "${x265[@]}" \
    -f hevc hevc-720p.h265

# A rotation: half a second portrait, then half a second landscape, joined byte for byte,
# so the stream carries a second, different set of parameter sets.
ffmpeg "${common[@]}" -f lavfi -i testsrc2=size=720x1280:rate=30:duration=0.5 "${x264[@]}" \
    -f h264 portrait.tmp
ffmpeg "${common[@]}" -f lavfi -i testsrc2=size=1280x720:rate=30:duration=0.5 "${x264[@]}" \
    -f h264 landscape.tmp
cat portrait.tmp landscape.tmp >h264-rotate.h264
rm portrait.tmp landscape.tmp

# The flash test's colours, one key frame each under one set of parameter sets, so that they
# may follow each other in any order: grey, green (#00ff00), black; 320x180.
flash=""
for colour in 0x808080 0x00ff00 0x000000; do
    flash+="color=c=${colour}:s=320x180:r=60,trim=end_frame=1[c${colour}];"
done
ffmpeg "${common[@]}" -f lavfi -i "${flash}[c0x808080][c0x00ff00][c0x000000]concat=n=3:v=1:a=0" \
    -c:v libx264 -preset veryfast -tune zerolatency -bf 0 -g 1 -pix_fmt yuv420p \
    -f h264 flash-colours.h264

ls -l h264-720p.h264 hevc-720p.h265 h264-rotate.h264 flash-colours.h264
