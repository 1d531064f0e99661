#!/usr/bin/env bash
# Captures the XInput2 raw events of the raw mouse tests once, on a private Xvfb, with the
# capture_raw_motion tool of a build (BUILD, default build/asan); the outputs are committed,
# and copied as the raw_motion fuzzer's seeds.
set -euo pipefail
cd "$(dirname "$0")"
root=../../..
tool=$root/${BUILD:-build/asan}/tools/capture_raw_motion
seeds=$root/fuzz/seeds/raw_motion

number=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -f "$number"' EXIT
until [ -s "$number" ]; do sleep 0.1; done
DISPLAY=":$(head -n 1 "$number")" "$tool" .

mkdir -p "$seeds"
cp ./*.xge "$seeds"/
ls -l ./*.xge
