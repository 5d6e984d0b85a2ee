# Sourced by the game's real-display scripts: waits by real time, X servers of a run's own, the game
# started on one, its end told apart as a hang or a slow one, and what an orderly end must leave.

# Runs the command until it succeeds or SECONDS of real time have passed (the X server and the game run
# in their own time: slowly on a loaded machine). Fails when the time ran out.
wait_until() {  # seconds command...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }
sleep_ms() { sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; }
ended() { ! kill -0 "$1" 2>/dev/null; }

# An X server on a display number drawn at random (servers that pick a free number themselves, started side
# by side, can take the same one), its number written to DIR/display and its pid to DIR/xserver, once it
# answers a first client. It is started outside the caller's jobs, so that its end is not announced.
x_started_or_ended() { [ -s "$1/display" ] || ended "$(cat "$1/xserver")"; }
x_answers() { DISPLAY=$1 xdotool getdisplaygeometry > /dev/null 2>&1; }
start_x_server() {  # dir
  local try
  for try in 1 2 3 4 5; do
    rm -f "$1/display"
    (Xvfb ":$((1000 + RANDOM % 30000))" -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$1/display" \
      > /dev/null 2>&1 & echo $! > "$1/xserver")
    wait_until 30 x_started_or_ended "$1" && [ -s "$1/display" ] && wait_until 30 x_answers ":$(cat "$1/display")" &&
      return 0
  done
  return 1
}
game_window_shown() { DISPLAY=$1 xdotool search --class kelvaron > /dev/null 2>&1; }
game_shown_or_ended() { game_window_shown "$1" || ended "$2"; }

# A run's folder: the game's Data and Material linked in, a private base for XDG_RUNTIME_DIR and, when asked,
# the user's folder in it taken by a link, so that the process keeps its files and locks in a private
# folder of its own (which must go with it).
make_run_folder() {  # dir game_dir taken(0|1)
  mkdir -p "$1/base"
  chmod 700 "$1/base"
  ln -s "$2/Data" "$1/Data"
  ln -s "$2/Material" "$1/Material"
  [ "$3" = 0 ] || ln -s "$1" "$1/base/orbel-$(id -u)"
}

# Starts $program on the run's X server, its pid in $pid: sound on SDL's dummy driver (whose thread pulls
# the mix as a card's would), the start question answered with ANSWER by the setting unless BY_KEY is 1.
# A shell starts what it runs in the background with SIGINT ignored; the game starts as from a terminal,
# with SIGINT, SIGTERM and SIGHUP at their defaults.
start_game() {  # dir display by_key answer
  (
    cd "$1"
    [ "$3" = 1 ] || export ORBEL_MESSAGEBOX_ANSWER=$4
    exec env --default-signal=INT,TERM,HUP DISPLAY="$2" ORBEL_HOST=sdl SDL_AUDIODRIVER=dummy \
      XDG_RUNTIME_DIR="$1/base" "$program"
  ) > "$1/output" 2>&1 &
  pid=$!
}

# Starts an X server and the game on it, as start_game, and waits for its first window: $xserver,
# $display and $pid set. A loaded X server now and then turns a new client away; the game then finds no
# display and says so at once. Such a start is made again on a new server, twice at most: it is not what
# these tests are about. Fails when no window showed (DIR/output says why).
start_shown_game() {  # dir by_key answer
  local try
  for try in 1 2 3; do
    start_x_server "$1" || { echo "no X server" > "$1/output"; return 1; }
    xserver=$(cat "$1/xserver")
    display=:$(cat "$1/display")
    start_game "$1" "$display" "$2" "$3"
    wait_until 60 game_shown_or_ended "$display" "$pid" && ! ended "$pid" && return 0
    kill -KILL "$pid" "$xserver" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    grep -q "^orbel: no display could be opened" "$1/output" || return 1
  done
  return 1
}

answer_by_key() {  # display answer
  DISPLAY=$1 xdotool search --class kelvaron windowfocus --sync key "${2:0:1}" 2>/dev/null || true
}

# start_shown_game, then the start question answered by key when BY_KEY is 1.
start_answered_game() {  # dir by_key answer
  start_shown_game "$@" || return 1
  [ "$2" = 1 ] || return 0
  sleep 0.3
  answer_by_key "$display" "$3"
}

# Plays until DELAY ms have passed: Space at 5.0, 5.6 and 6.2 s chooses stage 1 and begins a battle.
play_for() {  # display delay
  local press at=0
  for press in 5000 5600 6200 "$2"; do
    [ "$press" -le "$2" ] || continue
    sleep_ms $((press - at))
    at=$press
    [ "$press" = "$2" ] || DISPLAY=$1 xdotool key space 2>/dev/null || true
  done
}

# Calls `run N` for N = 1..RUNS, AT_ONCE side by side: the next starts as soon as one ends.
run_all() {  # runs at_once
  local n
  for ((n = 1; n <= $1; ++n)); do
    while [ "$(jobs -rp | wc -l)" -ge "$2" ]; do wait -n || true; done
    run "$n" &
  done
  wait
}

# Waits for the game to end once something should have ended it (since START_MS): ended_ms is set to the
# time it took. A game still running after 20 s hangs: every thread's stack is written to DIR/stacks
# before it is killed, and the wait fails. A slow end is the caller's to judge by ended_ms.
hang_ms=20000
await_end() {  # pid dir start_ms
  local deadline=$(($3 + hang_ms))
  until ended "$1"; do
    if [ "$(now_ms)" -ge "$deadline" ]; then
      timeout 120 gdb -p "$1" -batch -ex 'thread apply all bt' > "$2/stacks" 2>&1 || true
      kill -KILL "$1" 2>/dev/null
      wait "$1" 2>/dev/null || true
      return 1
    fi
    sleep 0.02
  done
  ended_ms=$(($(now_ms) - $3))
}

# What an orderly end must leave, as one line of faults (empty when none): nothing said by a sanitizer in
# DIR/output, no private folder of the process in DIR/base, and a new start right after (headless, on the
# virtual clock, ended with F12 once the title reads keys) that is not refused as a second copy.
after_end_faults() {  # dir program
  local faults="" left again=0
  ! grep -q "Sanitizer\|runtime error" "$1/output" || faults="a sanitizer reported"
  left=$(find "$1/base" -mindepth 1 -maxdepth 2 -name '*process-*' | head -n 1)
  [ -z "$left" ] || faults="${faults:+$faults; }$left was left"
  printf '3000 key F12 down\n3100 key F12 up\n' > "$1/quit.txt"
  (cd "$1" && ORBEL_HOST=headless ORBEL_HEADLESS_CLOCK=virtual ORBEL_MESSAGEBOX_ANSWER=no \
    ORBEL_HEADLESS_SCRIPT="$1/quit.txt" XDG_RUNTIME_DIR="$1/base" timeout 60 "$2") > "$1/again" 2>&1 || again=$?
  [ "$again" = 0 ] || faults="${faults:+$faults; }a new start ended with $again"
  echo "$faults"
}

# Writes a run's result to DIR/result: "ok DETAILS..." (the first detail the ms it took to end), or what
# went wrong (FAULTS and what after_end_faults finds) followed by the game's output.
write_result() {  # dir said faults details...
  local dir=$1 said=$2 fault=$3 after
  shift 3
  after=$(after_end_faults "$dir" "$program")
  fault="$fault${fault:+${after:+; }}$after"
  if [ -n "$fault" ]; then
    { echo "$said: $fault"; sed 's/^/    /' "$dir/output"; } > "$dir/result"
  else
    echo "ok $*" > "$dir/result"
  fi
}

# Reads the results of runs 1..RUNS and prints those that went wrong: $failed counts them, $slowest is the
# longest end in ms and $counted the sum of the second details.
tally() {  # runs
  local n result ms extra
  failed=0 slowest=0 counted=0
  for ((n = 1; n <= $1; ++n)); do
    result=$(cat "$work/run-$n/result" 2>/dev/null || echo "run $n gave no result")
    if [ "${result%% *}" = ok ]; then
      read -r _ ms extra <<< "$result"
      [ "$ms" -le "$slowest" ] || slowest=$ms
      counted=$((counted + ${extra:-0}))
    else
      echo "$result"
      failed=$((failed + 1))
    fi
  done
}

# Log.txt as UTF-8.
game_log() { iconv -f CP932 -t UTF-8 "$1/Log.txt" 2>/dev/null || true; }
