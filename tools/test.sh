#!/usr/bin/env bash
# Sets up the machine (Debian packages), builds everything and runs the whole test suite; then builds
# every test suite twice more and runs them all again (every CTest label ending in _tests, so a new suite
# joins by itself): with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan, and with
# ThreadSanitizer in build-tsan. Every fuzz corpus is replayed through the
# g++ replay programs of the plain and the AddressSanitizer builds. A memory fault, a leak, a data race,
# undefined behaviour (an overflow from hostile game data, say) or a saved fuzz input that crashes again
# fails CI as a test does. Each pass reports how long it took, and the end sums them up.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
suppressions="$PWD/tools/tsan-suppressions.txt"
times=()

# Processor seconds (user and system) used so far by this script's finished children. On a shared
# machine a pass's real time says more about the others' load than about the pass; this does not.
child_cpu() { awk -v tick="$(getconf CLK_TCK)" '{ print int(($16 + $17) / tick) }' /proc/$$/stat; }
# Runs one pass and notes its real and processor time: pass NAME COMMAND...
pass() {
  local name=$1 start=$SECONDS cpu
  cpu=$(child_cpu)
  shift
  "$@"
  cpu=$(($(child_cpu) - cpu))
  times+=("$(printf '%-16s %5d s real %6d s processor' "$name" $((SECONDS - start)) "$cpu")")
  echo "test.sh: $name took $((SECONDS - start)) s (processor $cpu s)"
}
# ctest in BUILD_DIR with the given selection; the sanitizers stop at their first report.
run_ctest() {  # BUILD_DIR ctest-arguments...
  local dir=$1
  shift
  (cd "$dir" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$suppressions" \
    UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1" ctest --output-on-failure -j"$jobs" "$@")
}
replay_corpora() {
  run_ctest build -L fuzz_corpus
  run_ctest build-asan -L fuzz_corpus
}

tools/install-deps.sh
all=$SECONDS

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
pass "plain build" cmake --build build -j"$jobs"
pass "plain tests" run_ctest build -LE fuzz_corpus

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBEL_SANITIZE=ON -DORBEL_BENCH=OFF
pass "asan build" cmake --build build-asan -j"$jobs"
pass "asan tests" run_ctest build-asan -L '_tests$'
pass "corpus replay" replay_corpora

# UndefinedBehaviorSanitizer already ran over every suite in the AddressSanitizer pass; the thread pass
# leaves it out to keep CI's time down.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBEL_SANITIZE_THREAD=ON -DORBEL_SANITIZE_UNDEFINED=OFF \
  -DORBEL_BENCH=OFF -DORBEL_FUZZ=OFF
pass "tsan build" cmake --build build-tsan -j"$jobs"
pass "tsan tests" run_ctest build-tsan -L '_tests$'

echo "test.sh: every pass succeeded"
printf '  %s\n' "${times[@]}"
echo "  all, configures included $((SECONDS - all)) s real, $(child_cpu) s processor on $jobs processors"
