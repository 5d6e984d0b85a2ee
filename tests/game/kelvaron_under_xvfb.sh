#!/usr/bin/env bash
# Kelvaron in a real window: run under xvfb-run with the SDL host. The start question's box shows and is
# answered No (window mode) with its access key N, sent by xdotool; waits out the title, checks stage
# select's pictures in screenshots of the window, moves the cursor with a key sent by xdotool and sees the keyboard picture change, ends the
# game with F12 and checks that sound reached SDL's disk audio device.
#   kelvaron_under_xvfb.sh KELVARON GAME_DIR
set -euo pipefail
source "$(dirname "$0")/real_display.sh"
program=$1
game=$2
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
ln -s "$game/Data" Data
ln -s "$game/Material" Material

unset ORBEL_MESSAGEBOX_ANSWER
export ORBEL_HOST=sdl SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" ORBEL_RUNTIME_DIR="$work"
export ASAN_OPTIONS=detect_leaks=0
"$program" &
pid=$!

# The first window whose name (or, with --class, class) matches, into $found.
find_window() {  # xdotool search arguments...
  found=$(xdotool search "$@" 2>/dev/null | head -n 1 || true)
  [ -n "$found" ]
}
# Mean brightness (0..1) of a rectangle of the window's picture, read from xwd's ZPixmap.
mean_of() {  # window x y w h
  local at
  at=$(xwininfo -id "$1" | awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4} END{print x, y}')
  xwd -root -silent > shot.xwd
  /usr/bin/python3 - shot.xwd $(( $2 + ${at% *} )) $(( $3 + ${at#* } )) "$4" "$5" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
x0, y0, w, h = map(int, sys.argv[2:6])
f = struct.unpack(">25I", data[:100])
header, width, height, order, bpp, line, ncolors = f[0], f[4], f[5], f[7], f[11], f[12], f[19]
start = header + ncolors * 12
total = 0
for y in range(y0, min(y0 + h, height)):
    for x in range(x0, min(x0 + w, width)):
        p = start + y * line + x * (bpp // 8)
        b, g, r = (data[p], data[p + 1], data[p + 2]) if order == 0 else (data[p + 3], data[p + 2], data[p + 1])
        total += (r + g + b) / 3
print("%.4f" % (total / (w * h * 255)))
PY
}

# The start question comes before the game's window, so it is the program's only window (xdotool does not
# match Japanese names: the title is read back).
wait_until 30 find_window --onlyvisible --class kelvaron || { echo "the start question never showed"; exit 1; }
box=$found
[ "$(xdotool getwindowname "$box")" = "スクリーン設定" ] || { echo "the box is $(xdotool getwindowname "$box")"; exit 1; }
sleep 0.3
xdotool windowfocus --sync "$box" key n
wait_until 30 find_window --name Kelvaron || { echo "no window named Kelvaron"; exit 1; }
game_window=$found
size=$(xwininfo -id "$game_window" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
[ "$size" = "640x480" ] || { echo "window is $size, not 640x480"; exit 1; }

# The title fades a logo over a white box; stage select is dark around its pictures.
title_seen=0
title_then_dark() {
  local band
  band=$(mean_of "$game_window" 0 300 640 10)
  awk -v b="$band" 'BEGIN { exit !(b > 0.5) }' && title_seen=1
  [ "$title_seen" = 1 ] && awk -v b="$band" 'BEGIN { exit !(b < 0.1) }'
}
wait_until 60 title_then_dark || true
[ "$title_seen" = 1 ] || { echo "the title was never seen"; exit 1; }
stage_select_shown() {
  logo=$(mean_of "$game_window" 120 64 400 120)
  keys_before=$(mean_of "$game_window" 200 240 240 56)
  bottom=$(mean_of "$game_window" 0 300 640 10)
  awk -v l="$logo" -v k="$keys_before" -v e="$bottom" 'BEGIN { exit !(l > 0.15 && k > 0.05 && e < 0.1) }'
}
shown=0
wait_until 20 stage_select_shown && shown=1
echo "logo $logo keyboard $keys_before empty band $bottom"
[ "$shown" = 1 ] || { echo "stage select pictures missing"; exit 1; }
# Settled: the keyboard picture no longer changes by itself.
keyboard_still() {
  local now
  now=$(mean_of "$game_window" 200 240 240 56)
  [ "$now" = "$keys_before" ] || { keys_before=$now; false; }
}
wait_until 20 keyboard_still || true

kill -0 "$pid"
# K is held until the game has seen it (it reads the keys once a frame).
keyboard_moved() {
  keys_after=$(mean_of "$game_window" 200 240 240 56)
  awk -v a="$keys_before" -v b="$keys_after" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d > 0.003) }'
}
xdotool keydown k
moved=0
wait_until 20 keyboard_moved && moved=1
xdotool keyup k
echo "keyboard after K: $keys_after"
[ "$moved" = 1 ] || { echo "the keyboard picture did not follow the cursor"; exit 1; }

kill -0 "$pid"
game_ended() { ! kill -0 "$pid" 2>/dev/null; }
xdotool keydown F12
wait_until 20 game_ended || true
xdotool keyup F12 2>/dev/null || true
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || { echo "kelvaron ended with $status"; exit 1; }
/usr/bin/python3 - "$work/audio.raw" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
loud = sum(1 for b in data[::97] if b not in (0, 255))
print("audio bytes", len(data), "non-silent samples", loud)
sys.exit(0 if len(data) > 10000 and loud > 100 else 1)
PY
echo "kelvaron under Xvfb: ok"
