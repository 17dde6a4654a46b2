#!/usr/bin/env bash
# Builds Runnel and starts it in a demonstration program directory (demo/home), so that
# nothing outside this checkout is touched.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target runnel

export QUILLET_HOME="$PWD/demo/home"
mkdir -p "$QUILLET_HOME"
chmod 700 "$QUILLET_HOME"
exec build/bin/runnel "$@"
