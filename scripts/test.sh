#!/usr/bin/env bash
# Builds Quillet twice (a normal build in build/, and one under AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/) and runs the whole test suite in both.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

echo "== Normal build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"

echo "== Sanitizer build"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== Tests (normal build)"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

echo "== Tests (sanitizer build)"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600
