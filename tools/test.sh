#!/usr/bin/env bash
# Sets up the machine (Debian packages), builds everything and runs the whole test suite; then builds
# every test suite again with ThreadSanitizer and UndefinedBehaviorSanitizer in build-tsan and runs them
# all (every CTest label ending in _tests, so a new suite joins by itself), so a data race or undefined
# behaviour (an overflow from hostile game data, say) fails CI as a test does.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
(cd build && ctest --output-on-failure -j"$(nproc)")

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBEL_SANITIZE_THREAD=ON -DORBEL_SANITIZE_UNDEFINED=ON \
  -DORBEL_BENCH=OFF -DORBEL_FUZZ=OFF
cmake --build build-tsan -j"$(nproc)"
suppressions="$PWD/tools/tsan-suppressions.txt"
cd build-tsan
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$suppressions" \
UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1" \
  ctest --output-on-failure -j"$(nproc)" -L '_tests$'
