#!/usr/bin/env bash
# Makes the bundle's demo stream once: 6 s of 1280x720 at 60 fps H.264 with lively motion,
# wrapped into the capture file format by make_qmstream. The output is committed.
# Usage: tools/qmstream/make-demo.sh BUILD_DIR   (a configured build tree with tests on)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/asan}
cmake --build "$build" --target make_qmstream >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A zoom into the Mandelbrot set under a moving test pattern: every pixel changes every frame.
ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "mandelbrot=size=1280x720:rate=60:end_scale=0.05:inner=convergence" \
    -f lavfi -i "testsrc2=size=320x180:rate=60" \
    -filter_complex "[0][1]overlay=x='(W-w)*(0.5+0.4*sin(t*2))':y='(H-h)*(0.5+0.4*cos(t*3))'" \
    -t 6 -c:v libx264 -preset slow -tune zerolatency -bf 0 -g 60 -pix_fmt yuv420p \
    -b:v 3M -maxrate 3.5M -bufsize 3M -x264-params repeat-headers=1 \
    -f h264 "$work/demo.h264"
"$build/tools/make_qmstream" "$work/demo.h264" App/Resources/Demo/demo.qmstream 60 1280 720
