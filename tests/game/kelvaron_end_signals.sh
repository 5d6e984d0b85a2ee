#!/usr/bin/env bash
# Kelvaron in a real window ended by a signal: each run starts an X server of its own and the game on it
# with the SDL host (sound on SDL's dummy driver, whose thread pulls the mix as a card's would), answers the
# start question (by key in half the runs, the box left out in the others; window or full screen), presses
# Space now and then so that some runs reach a battle, and sends SIGTERM, SIGHUP or SIGINT (in turn) 0.2-9 s
# after Log.txt says the main window was made. In the user's folder, or (half the runs) with the user's
# folder taken by a link, so that the process keeps its files and locks in a private folder.
# The game must end by that signal (its status says so), say once on stderr that it received it, say it
# in Log.txt and close its window there, report nothing from a sanitizer and leave no private folder; and
# a new start right after must not be refused as a second copy. A game still running 20 s after the signal
# hangs: its threads' stacks are shown. One that ends slower than SLOW_MS fails with the time it took.
#   kelvaron_end_signals.sh KELVARON GAME_DIR SLOW_MS [RUNS]
set -euo pipefail
source "$(dirname "$0")/real_display.sh"
program=$1
game=$2
slow_ms=$3
runs=${4:-30}  # ten runs a signal
at_once=5
work=$(mktemp -d)
trap 'pkill -KILL -P $$ 2>/dev/null || true; rm -rf "$work"' EXIT
unset ORBEL_RUNTIME_DIR ORBEL_MESSAGEBOX_ANSWER TMPDIR
signals=(TERM HUP INT)
made=$(printf 'ウインドウの作成に成功しました' | iconv -f UTF-8 -t CP932)

window_made() { LC_ALL=C grep -qF "$made" "$1/Log.txt" 2>/dev/null; }
# The library takes SIGHUP, SIGINT and SIGTERM once the window it made is shown: a moment after Log.txt
# says it was made, longer on a loaded machine.
signals_taken() {  # pid
  local caught
  caught=$(awk '/^SigCgt:/ { print $2 }' "/proc/$1/status" 2>/dev/null) && [ -n "$caught" ] &&
    (( (16#$caught & 0x4003) == 0x4003 ))
}
made_or_ended() { { window_made "$1" && signals_taken "$2"; } || ended "$2"; }

# One run, its report in $dir/result: "ok <ms to end> <1 when the 2 s of grace ended it>" or what went wrong.
run() {  # number
  local dir="$work/run-$1" taken answer by_key delay signal display xserver pid status=0 said
  RANDOM=$((10#$(date +%N) + $1))  # runs start side by side: each its own draw
  taken=$((RANDOM % 2))
  make_run_folder "$dir" "$game" "$taken"
  answer=(no yes)
  answer=${answer[RANDOM % 2]}
  by_key=$((RANDOM % 2))
  delay=$((200 + RANDOM % 8800))
  signal=${signals[$1 % 3]}
  said="run $1 ($([ "$taken" = 1 ] && echo "taken user folder" || echo "user folder"), $answer by \
$([ "$by_key" = 1 ] && echo key || echo setting), SIG$signal $delay ms after the window was made)"

  if ! start_answered_game "$dir" "$by_key" "$answer"; then
    { echo "$said: no window showed"; sed 's/^/    /' "$dir/output"; } > "$dir/result"
    return
  fi
  if ! wait_until 60 made_or_ended "$dir" "$pid" || ended "$pid"; then
    { echo "$said: the main window was not made"; sed 's/^/    /' "$dir/output"; } > "$dir/result"
    kill -KILL "$pid" "$xserver" 2>/dev/null
    return
  fi
  play_for "$display" "$delay"
  local signalled
  signalled=$(now_ms)
  kill -"$signal" "$pid"
  # (The shell's own notice of a job ended by SIGHUP is not this test's.)
  if ! await_end "$pid" "$dir" "$signalled" 2> /dev/null; then
    { echo "$said: the game still ran ${hang_ms} ms after the signal; its threads:"
      sed 's/^/    /' "$dir/stacks"; sed 's/^/    /' "$dir/output"; } > "$dir/result"
    kill -KILL "$xserver" 2>/dev/null
    return
  fi
  wait "$pid" 2> /dev/null || status=$?
  kill -KILL "$xserver" 2>/dev/null || true
  local fault=""
  [ "$ended_ms" -le "$slow_ms" ] || fault="it took $ended_ms ms to end (more than $slow_ms)"
  [ "$status" = $((128 + $(kill -l "$signal"))) ] || fault="${fault:+$fault; }it ended with status $status"
  [ "$(grep -c "^orbel: received SIG$signal; the program ends$" "$dir/output" || true)" = 1 ] ||
    fault="${fault:+$fault; }it did not say once that it received SIG$signal"
  grep -q "シグナル SIG$signal を受け取りました、ソフトを終了します" <<< "$(game_log "$dir")" ||
    fault="${fault:+$fault; }Log.txt does not say the signal"
  # A signal during the library's start (which pumps no message for a while) may find the 2 s of grace
  # over before the close is taken; otherwise the window must have closed.
  local graced=0
  ! grep -q "^orbel: the program did not end within 2 s of SIG$signal; it ends now$" "$dir/output" || graced=1
  [ "$graced" = 1 ] || grep -q "ウインドウを閉じようとしています" <<< "$(game_log "$dir")" ||
    fault="${fault:+$fault; }the window was not closed"
  write_result "$dir" "$said" "$fault" "$ended_ms" "$graced"
}

run_all "$runs" "$at_once"
tally "$runs"
echo "kelvaron end signals: $((runs - failed)) of $runs runs ended by their signal ($counted after the 2 s of grace)," \
  "the slowest in $slowest ms"
[ "$failed" = 0 ]
