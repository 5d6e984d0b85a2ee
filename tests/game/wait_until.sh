# Sourced by the game's real-display scripts.
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
