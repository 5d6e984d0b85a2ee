#!/usr/bin/env bash
# Makes the seed inputs of sound_converter_fuzz in the given directory (default: this one's "seeds"):
# a short PCM WAV, its MS ADPCM, IMA ADPCM, A-law and mu-law forms, an 8-bit WAV, an MP3 and an Ogg.
set -euo pipefail
out=${1:-"$(dirname "$0")/seeds"}
mkdir -p "$out"
cd "$out"
sox -n -r 8000 -c 1 -b 16 pcm16.wav synth 0.05 sine 440
sox -n -r 8000 -c 1 -b 8 pcm8.wav synth 0.02 sine 300
for e in ms-adpcm ima-adpcm a-law u-law; do sox pcm16.wav -e "$e" "$e.wav"; done
lame --quiet -b 32 -m m pcm16.wav mp3.mp3
oggenc -Q -o vorbis.ogg pcm16.wav
