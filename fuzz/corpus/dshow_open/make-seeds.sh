#!/usr/bin/env bash
# Writes the seed movies of dshow_open_fuzz into DIR with the build's moviegen (tools/moviegen): small
# films of each container the stand-in reads, over as many of FFmpeg's video and sound decoders, and
# sound-only files.
#   fuzz/corpus/dshow_open/make-seeds.sh BUILD_DIR DIR
set -euo pipefail
gen="$1/tools/moviegen/moviegen"
out="$2"
mkdir -p "$out"
"$gen" "$out/mpeg4-adpcm.avi" avi mpeg4 32 24 10 3 sound=adpcm_ima_wav
"$gen" "$out/mjpeg.avi" avi mjpeg 16 16 5 3
"$gen" "$out/mpeg4-aac.mp4" mp4 mpeg4 24 16 10 5 sound=aac
"$gen" "$out/mpeg4-vorbis.mkv" matroska mpeg4 16 16 10 4 sound=libvorbis busy
"$gen" "$out/vp8-vorbis.webm" webm libvpx 32 24 10 4 sound=libvorbis busy
"$gen" "$out/h264-aac.mov" mov libx264 32 24 10 5 sound=aac busy
"$gen" "$out/h263-aac.3gp" 3gp h263 128 96 10 3 sound=aac
"$gen" "$out/mpeg2-mp2.ts" mpegts mpeg2video 32 24 25 6 sound=mp2
"$gen" "$out/mpeg1-mp2.mpg" mpeg mpeg1video 32 24 25 6 sound=mp2
"$gen" "$out/flv-mp3.flv" flv flv 32 24 10 4 sound=libmp3lame
"$gen" "$out/wmv2-wma.asf" asf wmv2 32 24 10 4 sound=wmav2
"$gen" "$out/theora-vorbis.ogg" ogg libtheora 32 24 10 4 sound=libvorbis
"$gen" "$out/raw.mjpeg" mjpeg mjpeg 16 16 5 3
"$gen" "$out/pcm.wav" wav none 16 16 10 1 sound=pcm_u8
"$gen" "$out/mp3.mp3" mp3 none 16 16 10 3 sound=libmp3lame
