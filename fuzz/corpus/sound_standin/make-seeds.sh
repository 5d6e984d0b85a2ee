#!/usr/bin/env bash
# Makes the codec seeds of sound_standin_fuzz in the given directory (default: this one): a road byte 0,
# an 8-byte format head (tag choice, channels, rate choice, block align, bits, codec-data size, room),
# then coded audio made by sox and lame from a short tone. The MIDI seed ("midi") is kept as it is.
set -euo pipefail
out=${1:-"$(dirname "$0")"}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -n -r 22050 -c 1 -b 16 "$work/tone.wav" synth 0.1 sine 500
sox "$work/tone.wav" -e ms-adpcm "$work/ms.wav"
sox "$work/tone.wav" -e ima-adpcm "$work/ima.wav"
sox "$work/tone.wav" -e a-law "$work/alaw.wav"
lame --quiet -b 32 "$work/tone.wav" "$work/tone.mp3"
# head: road 0, tag (0 MS, 1 IMA, 2 A-law, 4 MPEG), channels 1, rate 22050, block align, bits, codec data 0, room 0x140*4
{ printf '\x00\x00\x01\x00\x00\x02\x00\x40\x01'; tail -c +91 "$work/ms.wav"; } > "$out/ms_adpcm"
{ printf '\x00\x01\x01\x00\x00\x01\x00\x40\x01'; tail -c +61 "$work/ima.wav"; } > "$out/ima_adpcm"
{ printf '\x00\x02\x01\x00\x01\x80\x00\x40\x01'; tail -c +59 "$work/alaw.wav"; } > "$out/alaw"
{ printf '\x00\x04\x01\x00\x01\x00\x00\x40\x01'; cat "$work/tone.mp3"; } > "$out/mpeg"
# Hostile heads: IMA ADPCM with the largest block align the head can state (4095), and MPEG frames whose
# four header bytes are all they hold.
{ printf '\x00\x01\x01\x00\xff\x0f\x00\x40\x01'; tail -c +61 "$work/ima.wav"; } > "$out/hostile_ima_largest_block"
{ printf '\x00\x04\x01\x00\x01\x00\x00\x40\x01'; for i in 1 2 3 4 5 6 7 8; do printf '\xff\xfb\x90\xc0'; done; } > "$out/hostile_mpeg_headers_only"
