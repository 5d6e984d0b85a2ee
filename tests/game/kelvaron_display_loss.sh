#!/usr/bin/env bash
# Kelvaron in a real window whose X server goes away: each run starts an X server of its own and the game
# on it with the SDL host (sound on SDL's dummy driver, whose thread pulls the mix as a card's would) and
# ends the X server at a random moment, by TERM or KILL. In the user's folder, or (half the runs) with the
# user's folder taken by a link, so that the process keeps its files and locks in a private folder.
#   play:  the start question answered (by key in half the runs, the box left out in the others; window or
#          full screen), Space pressed now and then so that some runs reach a battle, the server ended
#          0.2-9 s after the first window showed.
#   start: the server ended during the start: 0-1.5 s after the launch, while the start question shows, or
#          within 0.2 s after Log.txt says the window is being made.
# The game must end by itself with a non-zero status and no signal, say once on stderr that the display
# was lost (in a start, that no display could be opened is as good when the server went first), say it in
# Log.txt too once its window was made, report nothing from a sanitizer and leave no private folder; and a
# new start right after must not be refused as a second copy. A game still running 20 s after the server
# ended hangs: its threads' stacks are shown. One that ends slower than SLOW_MS fails with the time it took.
#   kelvaron_display_loss.sh KELVARON GAME_DIR MODE SLOW_MS [RUNS]
set -euo pipefail
source "$(dirname "$0")/real_display.sh"
program=$1
game=$2
mode=$3
slow_ms=$4
runs=${5:-40}  # a fault that shows in one run of seven is missed by 40 runs once in 480 times
at_once=5
work=$(mktemp -d)
trap 'pkill -KILL -P $$ 2>/dev/null || true; rm -rf "$work"' EXIT
unset ORBEL_RUNTIME_DIR ORBEL_MESSAGEBOX_ANSWER TMPDIR
making=$(printf 'ウインドウを作成します' | iconv -f UTF-8 -t CP932)

window_being_made() { LC_ALL=C grep -qF "$making" "$1/Log.txt" 2>/dev/null; }
made_or_ended() { window_being_made "$1" || ended "$2"; }

# One run, its report in $dir/result: "ok <ms to end>" or what went wrong.
run() {  # number
  local dir="$work/run-$1" taken answer by_key stop display xserver pid status=0 said moment
  RANDOM=$((10#$(date +%N) + $1))  # runs start side by side: each its own draw
  taken=$((RANDOM % 2))
  make_run_folder "$dir" "$game" "$taken"
  answer=(no yes)
  answer=${answer[RANDOM % 2]}
  by_key=$((RANDOM % 2))
  stop=(TERM KILL)
  stop=${stop[RANDOM % 2]}
  said="run $1 ($([ "$taken" = 1 ] && echo "taken user folder" || echo "user folder"), $answer by \
$([ "$by_key" = 1 ] && echo key || echo setting), X ended by $stop"

  if [ "$mode" = start ]; then
    start_x_server "$dir" || { echo "$said): no X server" > "$dir/result"; return; }
    xserver=$(cat "$dir/xserver")
    display=:$(cat "$dir/display")
    local delay=$((RANDOM % 1500)) at=$((RANDOM % 3))
    [ "$by_key" = 1 ] || at=$((at == 1 ? 2 : at))  # no box without the key
    start_game "$dir" "$display" "$by_key" "$answer"
    case $at in
      0) moment="$delay ms after the launch"
         sleep_ms "$delay" ;;
      1) delay=$((delay % 300))
         moment="$delay ms after the start question showed"
         wait_until 60 game_shown_or_ended "$display" "$pid" || true
         sleep_ms "$delay" ;;
      2) delay=$((delay % 200))
         moment="$delay ms after the window's making began"
         [ "$by_key" = 0 ] || { wait_until 60 game_shown_or_ended "$display" "$pid" || true; sleep 0.3;
                                answer_by_key "$display" "$answer"; }
         wait_until 60 made_or_ended "$dir" "$pid" || true
         sleep_ms "$delay" ;;
    esac
  else
    local delay=$((200 + RANDOM % 8800))
    moment="$delay ms after the first window showed"
    if ! start_answered_game "$dir" "$by_key" "$answer"; then
      { echo "$said, $moment): no window showed"; sed 's/^/    /' "$dir/output"; } > "$dir/result"
      return
    fi
    play_for "$display" "$delay"
  fi
  said="$said $moment)"
  local stopped
  stopped=$(now_ms)
  kill -"$stop" "$xserver"
  if ! await_end "$pid" "$dir" "$stopped"; then
    { echo "$said: the game still ran ${hang_ms} ms after the server ended; its threads:"
      sed 's/^/    /' "$dir/stacks"; sed 's/^/    /' "$dir/output"; } > "$dir/result"
    return
  fi
  wait "$pid" || status=$?
  local fault="" lost no_display
  [ "$ended_ms" -le "$slow_ms" ] || fault="it took $ended_ms ms to end (more than $slow_ms)"
  [ "$status" -ne 0 ] || fault="${fault:+$fault; }it ended with status 0"
  [ "$status" -le 128 ] || [ "$status" -gt 192 ] || fault="${fault:+$fault; }it ended by signal $((status - 128))"
  lost=$(grep -c "^orbel: the connection to the display $display was lost; the program ends$" "$dir/output" || true)
  no_display=$(grep -c "^orbel: no display could be opened" "$dir/output" || true)
  if [ "$mode" = start ] && [ "$lost" = 0 ]; then lost=$no_display; no_display=0; fi
  [ "$lost" = 1 ] && [ "$no_display" = 0 ] || fault="${fault:+$fault; }it did not say once that the display was lost"
  # Once the library has made its window, its log ends with the loss.
  if grep -q "ウインドウの作成に成功しました" <<< "$(game_log "$dir")" &&
     ! grep -q "ディスプレイとの接続が切れました、ソフトを終了します" <<< "$(game_log "$dir")"; then
    fault="${fault:+$fault; }Log.txt does not say that the display was lost"
  fi
  write_result "$dir" "$said" "$fault" "$ended_ms"
}

run_all "$runs" "$at_once"
tally "$runs"
echo "kelvaron display loss ($mode): $((runs - failed)) of $runs runs ended cleanly, the slowest in $slowest ms"
[ "$failed" = 0 ]
