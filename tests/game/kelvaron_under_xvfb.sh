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
"$program" &
pid=$!

# The first window whose name (or, with --class, class) matches, into $found.
find_window() {  # xdotool search arguments...
  found=$(xdotool search "$@" 2>/dev/null | head -n 1 || true)
  [ -n "$found" ]
}
# Mean brightness (0..1) of rectangles of the window's picture, from xwd's ZPixmap of the window alone.
# With --until, it keeps looking, as fast as xwd answers, until the first rectangle's brightness has been
# above HIGH and then below LOW (a picture that came and went, however slowly the game draws), or SECONDS
# of real time have passed (then it fails); otherwise it looks once and prints one mean a rectangle.
brightness() {  # [--until HIGH LOW SECONDS] window x y w h [x y w h ...]
  /usr/bin/python3 - "$@" <<'PY'
import struct, subprocess, sys, time
args = sys.argv[1:]
until = None
if args[0] == "--until":
    until = tuple(map(float, args[1:4]))
    args = args[4:]
window, boxes = args[0], list(map(int, args[1:]))

def means():
    data = subprocess.run(["xwd", "-id", window, "-silent"], capture_output=True, check=True).stdout
    f = struct.unpack(">25I", data[:100])
    header, width, height, order, bpp, line, ncolors = f[0], f[4], f[5], f[7], f[11], f[12], f[19]
    pixels = memoryview(data)[header + ncolors * 12:]
    step = bpp // 8
    out = []
    for i in range(0, len(boxes), 4):
        x0, y0, w, h = boxes[i:i + 4]
        total = 0
        for y in range(y0, min(y0 + h, height)):
            row = pixels[y * line + x0 * step:y * line + min(x0 + w, width) * step]
            channels = (0, 1, 2) if order == 0 else (1, 2, 3)
            total += sum(sum(row[c::step]) for c in channels) / 3
        out.append(total / (w * h * 255))
    return out

if until is None:
    print(" ".join("%.4f" % m for m in means()))
    sys.exit(0)
high, low, seconds = until
seen = False
deadline = time.monotonic() + seconds
while time.monotonic() < deadline:
    try:
        m = means()[0]
    except subprocess.CalledProcessError:
        sys.exit(1)  # the window went away
    seen = seen or m > high
    if seen and m < low:
        sys.exit(0)
    time.sleep(0.01)
print("seen above %.2f: %s; last %.4f" % (high, seen, m))
sys.exit(1)
PY
}
# The start question comes before the game's window, so it is the program's only window (xdotool does not
# match Japanese names: the title is read back).
wait_until 120 find_window --onlyvisible --class kelvaron || { echo "the start question never showed"; exit 1; }
box=$found
[ "$(xdotool getwindowname "$box")" = "スクリーン設定" ] || { echo "the box is $(xdotool getwindowname "$box")"; exit 1; }
sleep 0.3
xdotool windowfocus --sync "$box" key n
wait_until 120 find_window --name Kelvaron || { echo "no window named Kelvaron"; exit 1; }
game_window=$found
size=$(xwininfo -id "$game_window" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
[ "$size" = "640x480" ] || { echo "window is $size, not 640x480"; exit 1; }

# The title fades a logo over a white box; stage select is dark around its pictures.
brightness --until 0.5 0.1 180 "$game_window" 0 300 640 10 || { echo "the title was never seen"; exit 1; }
stage_select_shown() {
  read -r logo keys_before bottom < <(brightness "$game_window" 120 64 400 120 200 240 240 56 0 300 640 10)
  awk -v l="$logo" -v k="$keys_before" -v e="$bottom" 'BEGIN { exit !(l > 0.15 && k > 0.05 && e < 0.1) }'
}
shown=0
wait_until 60 stage_select_shown && shown=1
echo "logo $logo keyboard $keys_before empty band $bottom"
[ "$shown" = 1 ] || { echo "stage select pictures missing"; exit 1; }
# Settled: the keyboard picture no longer changes by itself.
keyboard_still() {
  local now
  now=$(brightness "$game_window" 200 240 240 56)
  [ "$now" = "$keys_before" ] || { keys_before=$now; false; }
}
wait_until 20 keyboard_still || true

kill -0 "$pid"
# K is held until the game has seen it (it reads the keys once a frame).
keyboard_moved() {
  keys_after=$(brightness "$game_window" 200 240 240 56)
  awk -v a="$keys_before" -v b="$keys_after" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d > 0.003) }'
}
xdotool keydown k
moved=0
wait_until 60 keyboard_moved && moved=1
xdotool keyup k
echo "keyboard after K: $keys_after"
[ "$moved" = 1 ] || { echo "the keyboard picture did not follow the cursor"; exit 1; }

kill -0 "$pid"
game_ended() { ! kill -0 "$pid" 2>/dev/null; }
xdotool keydown F12
wait_until 60 game_ended || true
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
