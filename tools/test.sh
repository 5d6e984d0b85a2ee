#!/usr/bin/env bash
# Sets up the machine (Debian packages), builds everything and runs the whole test suite; then builds
# the suites whose code starts threads (core, file, platform) with ThreadSanitizer in build-tsan and
# runs them, so a data race fails CI as a test does.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
(cd build && ctest --output-on-failure -j"$(nproc)")

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBEL_SANITIZE_THREAD=ON -DORBEL_BENCH=OFF -DORBEL_FUZZ=OFF
cmake --build build-tsan -j"$(nproc)" --target core_tests file_tests platform_tests
suppressions="$PWD/tools/tsan-suppressions.txt"
cd build-tsan
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$suppressions" \
  ctest --output-on-failure -j"$(nproc)" -L '^(core|file|platform)_tests$'
