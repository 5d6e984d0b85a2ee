#!/usr/bin/env bash
# Kelvaron in a real window whose X server goes away: each run starts an X server of its own and the game
# on it with the SDL host (sound on SDL's dummy driver, whose thread pulls the mix as a card's would),
# answers the start question (by key in half the runs, the box left out in the others; window or full
# screen), presses Space now and then so that some runs reach a battle, and ends the X server at a random
# moment. The game must end within 3 s by itself, with a non-zero status and no signal, say once on
# stderr that the display was lost (and in Log.txt once its window was made), report nothing from a
# sanitizer, and leave no private folder; and a new start right after must not be refused as a second
# copy. In half the runs the user's folder is taken (a link stands at its name), so the process keeps
# its files, and the locks, in a private folder that must go with it.
#   kelvaron_display_loss.sh KELVARON GAME_DIR [RUNS]
set -euo pipefail
source "$(dirname "$0")/wait_until.sh"
program=$1
game=$2
runs=${3:-40}  # a fault that shows in one run of seven is missed by 40 runs once in 480 times
at_once=5
work=$(mktemp -d)
trap 'pkill -KILL -P $$ 2>/dev/null || true; rm -rf "$work"' EXIT
uid=$(id -u)
export ASAN_OPTIONS=detect_leaks=0
unset ORBEL_RUNTIME_DIR ORBEL_MESSAGEBOX_ANSWER TMPDIR

ended() { ! kill -0 "$1" 2>/dev/null; }
started_or_ended() { [ -s "$1/display" ] || ended "$(cat "$1/xserver")"; }
answers() { DISPLAY=$1 xdotool getdisplaygeometry > /dev/null 2>&1; }
# An X server on a display number drawn at random (servers that pick a free number themselves, started side
# by side, can take the same one), its number written to DIR/display and its pid to DIR/xserver, once it
# answers a first client. It is started outside this shell's jobs, so that its end is not announced.
start_x_server() {  # dir
  local try
  for try in 1 2 3 4 5; do
    rm -f "$1/display"
    (Xvfb ":$((1000 + RANDOM % 30000))" -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$1/display" \
      > /dev/null 2>&1 & echo $! > "$1/xserver")
    wait_until 30 started_or_ended "$1" && [ -s "$1/display" ] && wait_until 30 answers ":$(cat "$1/display")" &&
      return 0
  done
  return 1
}
window_shown() { DISPLAY=$1 xdotool search --class kelvaron > /dev/null 2>&1; }
shown_or_ended() { window_shown "$1" || ended "$2"; }

# One run, its report in $dir/result: "ok" or what went wrong.
run() {  # number
  local dir="$work/run-$1" mode answer by_key delay stop display xserver pid status=0
  RANDOM=$((10#$(date +%N) + $1))  # runs start side by side: each its own draw
  mkdir -p "$dir/base"
  chmod 700 "$dir/base"
  ln -s "$game/Data" "$dir/Data"
  ln -s "$game/Material" "$dir/Material"
  mode=("user folder" "taken user folder")
  mode=${mode[RANDOM % 2]}
  [ "$mode" = "taken user folder" ] && ln -s "$dir" "$dir/base/orbel-$uid"
  answer=(no yes)
  answer=${answer[RANDOM % 2]}
  by_key=$((RANDOM % 2))
  delay=$((200 + RANDOM % 8800))  # ms after the first window shows
  stop=(TERM KILL)
  stop=${stop[RANDOM % 2]}
  local said="run $1 ($mode, $answer by $([ "$by_key" = 1 ] && echo key || echo setting), X ended by $stop after $delay ms)"

  # A loaded X server now and then turns a new client away; SDL then has no display and the game says so
  # at once. Such a start is made again on a new server: it is not what this test is about.
  local try
  for try in 1 2 3; do
    start_x_server "$dir" || { echo "$said: no X server" > "$dir/result"; return; }
    xserver=$(cat "$dir/xserver")
    display=:$(cat "$dir/display")
    (
      cd "$dir"
      [ "$by_key" = 1 ] || export ORBEL_MESSAGEBOX_ANSWER=$answer
      exec env DISPLAY="$display" ORBEL_HOST=sdl SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR="$dir/base" "$program"
    ) > "$dir/output" 2>&1 &
    pid=$!
    wait_until 60 shown_or_ended "$display" "$pid" && ! ended "$pid" && break
    kill -KILL "$pid" "$xserver" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    if [ "$try" = 3 ] || ! grep -q "^ORBEL_HOST: sdl not available" "$dir/output"; then
      { echo "$said: no window showed"; sed 's/^/    /' "$dir/output"; } > "$dir/result"
      return
    fi
  done
  if [ "$by_key" = 1 ]; then
    sleep 0.3
    DISPLAY=$display xdotool search --class kelvaron windowfocus --sync key "${answer:0:1}" 2>/dev/null || true
  fi
  # Space at 5.0, 5.6 and 6.2 s: stage 1 is chosen and a battle begins.
  local spaces=(5000 5600 6200) at=0
  for press in "${spaces[@]}" "$delay"; do
    [ "$press" -le "$delay" ] || continue
    sleep "$(printf '%d.%03d' $(((press - at) / 1000)) $(((press - at) % 1000)))"
    at=$press
    [ "$press" = "$delay" ] || DISPLAY=$display xdotool key space 2>/dev/null || true
  done
  kill -"$stop" "$xserver"
  if ! wait_until 3 ended "$pid"; then
    echo "$said: the game did not end within 3 s" > "$dir/result"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    return
  fi
  wait "$pid" || status=$?
  local fault=""
  [ "$status" -ne 0 ] || fault="it ended with status 0"
  [ "$status" -lt 128 ] || fault="it ended by signal $((status - 128))"
  [ "$(grep -c "^orbel: the connection to the display $display was lost; the program ends$" "$dir/output")" = 1 ] ||
    fault="${fault:+$fault; }it did not say once that the display was lost"
  ! grep -q "Sanitizer\|runtime error" "$dir/output" || fault="${fault:+$fault; }a sanitizer reported"
  # Once the library has made its window, its log ends with the loss.
  local log
  log=$(iconv -f CP932 -t UTF-8 "$dir/Log.txt" 2>/dev/null || true)
  if grep -q "ウインドウの作成に成功しました" <<< "$log" &&
     ! grep -q "ディスプレイとの接続が切れました、ソフトを終了します" <<< "$log"; then
    fault="${fault:+$fault; }Log.txt does not say that the display was lost"
  fi
  local left
  left=$(find "$dir/base" -mindepth 1 -maxdepth 2 -name '*process-*' | head -n 1)
  [ -z "$left" ] || fault="${fault:+$fault; }$left was left"
  # A new start: headless, on the virtual clock, ended with F12 once the title reads keys.
  printf '3000 key F12 down\n3100 key F12 up\n' > "$dir/quit.txt"
  local again=0
  (cd "$dir" && ORBEL_HOST=headless ORBEL_HEADLESS_CLOCK=virtual ORBEL_MESSAGEBOX_ANSWER=no \
    ORBEL_HEADLESS_SCRIPT="$dir/quit.txt" XDG_RUNTIME_DIR="$dir/base" timeout 60 "$program") \
    > "$dir/again" 2>&1 || again=$?
  [ "$again" = 0 ] || fault="${fault:+$fault; }a new start ended with $again"
  if [ -n "$fault" ]; then
    { echo "$said: $fault"; sed 's/^/    /' "$dir/output"; } > "$dir/result"
  else
    echo ok > "$dir/result"
  fi
}

# At most at_once runs side by side: the next starts as soon as one ends.
for ((n = 1; n <= runs; ++n)); do
  while [ "$(jobs -rp | wc -l)" -ge "$at_once" ]; do wait -n || true; done
  run "$n" &
done
wait
failed=0
for ((n = 1; n <= runs; ++n)); do
  result=$(cat "$work/run-$n/result" 2>/dev/null || echo "run $n gave no result")
  [ "$result" = ok ] || { echo "$result"; failed=$((failed + 1)); }
done
echo "kelvaron display loss: $((runs - failed)) of $runs runs ended cleanly"
[ "$failed" = 0 ]
