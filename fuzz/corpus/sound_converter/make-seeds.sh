#!/usr/bin/env bash
# Makes the seed inputs of sound_converter_fuzz in the given directory (default: this one's "seeds"):
# a short PCM WAV, its MS ADPCM, IMA ADPCM, A-law and mu-law forms, an 8-bit WAV, an MP3 and an Ogg;
# then hostile WAVs written byte by byte: sounds without a sample, widths and channel counts no buffer
# plays, and chunks that lie about their size.
set -euo pipefail
out=${1:-"$(dirname "$0")/seeds"}
mkdir -p "$out"
cd "$out"
sox -n -r 8000 -c 1 -b 16 pcm16.wav synth 0.05 sine 440
sox -n -r 8000 -c 1 -b 8 pcm8.wav synth 0.02 sine 300
for e in ms-adpcm ima-adpcm a-law u-law; do sox pcm16.wav -e "$e" "$e.wav"; done
lame --quiet -b 32 -m m pcm16.wav mp3.mp3
oggenc -Q -o vorbis.ogg pcm16.wav

# Little-endian fields as raw bytes.
le16() { printf "$(printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
# wave NAME TAG CHANNELS RATE AVG BLOCK BITS TAIL-BYTES(printf escapes) DATA-FILE [STATED-DATA-SIZE]
wave() {
  local name=$1 tag=$2 channels=$3 rate=$4 avg=$5 block=$6 bits=$7 tail=$8 data=$9 stated=${10:-}
  local tailFile
  tailFile=$(mktemp)
  printf "$tail" > "$tailFile"
  local fmtSize=$((16 + $(stat -c %s "$tailFile")))
  local dataSize
  dataSize=$(stat -c %s "$data")
  [ -n "$stated" ] || stated=$dataSize
  {
    printf 'RIFF'; le32 $((4 + 8 + fmtSize + 8 + dataSize)); printf 'WAVEfmt '; le32 "$fmtSize"
    le16 "$tag"; le16 "$channels"; le32 "$rate"; le32 "$avg"; le16 "$block"; le16 "$bits"; cat "$tailFile"
    printf 'data'; le32 "$stated"; cat "$data"
  } > "$name"
  rm -f "$tailFile"
}
: > none.bin
printf '\x12' > one.bin
head -c 4000 /dev/zero | tr '\0' '@' > tone.bin
head -c 70000 /dev/zero | tr '\0' '\021' > ima.bin
for i in 1 2 3 4 5 6 7 8; do printf '\xff\xfb\x90\xc0'; done > mp3headers.bin
wave hostile_pcm_no_data.wav 1 1 22050 44100 2 16 '\x00\x00' none.bin
wave hostile_pcm_one_byte.wav 1 1 22050 44100 2 16 '\x00\x00' one.bin
wave hostile_ima_block_65535.wav 17 1 22050 11025 65535 4 '\x02\x00\xf9\xff' ima.bin
wave hostile_mp3_headers_only.wav 85 1 44100 16000 1 0 '\x0c\x00\x01\x00\x02\x00\x00\x00\xa1\x01\x01\x00\x71\x05' mp3headers.bin
for bits in 0 1 7 12; do
  wave "hostile_pcm_${bits}bit.wav" 1 1 22050 44100 2 "$bits" '\x00\x00' tone.bin
  wave "hostile_pcm_${bits}bit_fmt16.wav" 1 1 22050 22050 1 "$bits" '' tone.bin
done
wave hostile_pcm_65535_channels.wav 1 65535 22050 44100 2 16 '\x00\x00' tone.bin
wave hostile_pcm_data_past_end.wav 1 1 22050 44100 2 16 '\x00\x00' tone.bin 4294967280
head -c 30 hostile_pcm_65535_channels.wav > hostile_pcm_cut_in_fmt.wav
rm -f none.bin one.bin tone.bin ima.bin mp3headers.bin
