#!/usr/bin/env bash
# Sets up the machine (Debian packages), builds, and starts the game. Until the game exists this starts
# the library's smoke program, which opens the main window and runs the message loop until it is closed.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
if [ -x build/game/kelvaron ]; then
  cd game && exec ../build/game/kelvaron "$@"
fi
exec build/tools/smoke/orbel_smoke "$@"
