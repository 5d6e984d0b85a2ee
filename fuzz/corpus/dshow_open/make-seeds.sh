#!/usr/bin/env bash
# Writes the seed movies of dshow_open_fuzz into DIR with the build's moviegen (tools/moviegen):
# small movies of each container and codec the stand-in reads, with and without sound.
#   fuzz/corpus/dshow_open/make-seeds.sh BUILD_DIR DIR
set -euo pipefail
gen="$1/tools/moviegen/moviegen"
out="$2"
mkdir -p "$out"
"$gen" "$out/mpeg4.avi" avi mpeg4 32 24 10 6 sound
"$gen" "$out/mjpeg.avi" avi mjpeg 16 16 5 3
"$gen" "$out/mpeg4.mp4" mp4 mpeg4 24 16 10 5
"$gen" "$out/mpeg4.mkv" matroska mpeg4 16 16 10 4 sound busy
