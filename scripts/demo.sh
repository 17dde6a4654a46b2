#!/usr/bin/env bash
# Builds Runnel and starts it in a demonstration program directory (demo/home), so that
# nothing outside this checkout is touched. A sample QUILLET.INI (mail host and postmaster)
# is written there the first time; edit and save it while Runnel runs to see it restart.
# Stop Runnel with Escape and "y", with Ctrl+C, or with SIGTERM.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target runnel

export QUILLET_HOME="$PWD/demo/home"
mkdir -p "$QUILLET_HOME"
chmod 700 "$QUILLET_HOME"
if [ ! -f "$QUILLET_HOME/QUILLET.INI" ]; then
  umask 077
  printf '%s\r\n' \
    '; Demonstration settings of Runnel' \
    'SmartHost=localhost' \
    'Postmaster=postmaster@demo.example' \
    'Interval=10' \
    'ThreadStartupDelay=1' \
    'Verbose=True' > "$QUILLET_HOME/QUILLET.INI"
fi
exec build/bin/runnel "$@"
