#!/usr/bin/env bash
# Makes the seeds of the adb_connection fuzzer: scripts of a handshake, a push, a shell command
# and a server launch. Steps are a byte (see AdbConnectionFuzz.cpp) and their operands; phone
# ids name the host's streams in the order it opened them; a WRTE's third operand is its count
# of repeats times four.
set -euo pipefail
cd "$(dirname "$0")/adb_connection"

bytes() { for b in "$@"; do printf "\\x$(printf %02x "$b")"; done; }
text() { bytes ${#1}; printf '%s' "$1"; }  # a length byte, then the text

connect=0 auth=1 okay=2 write=3 close=4 drop=7 await=8
open=9 read=11 shell=14 push=15
video=2 echo=1 start=2

handshake() {
    bytes $auth 1 20 $await $auth 1 20 $await
    bytes $connect 0 0
    text "device::ro.product.model=Pixel 7;ro.product.name=panther;features=shell_v2,cmd"
}
# A push answered as the phone's sync service answers it, on the phone's stream `$1`.
answeredPush() {
    bytes $push 0 100 $okay "$1" "$1" $await $okay "$1" "$1"
    bytes $write "$1" "$1" 0 8; printf 'OKAY\0\0\0\0'
    bytes $await $await $okay "$1" "$1" $close "$1" "$1"
}

handshake >handshake
{ handshake; bytes $shell $echo $okay 0 0 $write 0 0 0; text $'hi\n'; bytes $close 0 0 $await; } >shell
{ handshake; answeredPush 0; } >push
{
    handshake
    answeredPush 0
    bytes $shell $start $okay 1 1 $write 1 1 0; text $'[server] INFO: Device: Pixel 7\n'
    bytes $open $video $okay 2 2 $open $video $okay 3 3 $open $video $okay 4 4
    bytes $write 2 2 0 65; printf '\0Pixel 7'; head -c 57 /dev/zero
    bytes $read 0 1 0 $read 0 64 0 $write 2 2 0; text h264
    bytes $read 0 4 0 $drop 30
} >server-launch
