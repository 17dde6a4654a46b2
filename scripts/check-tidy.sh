#!/usr/bin/env bash
# Runs clang-tidy with the checked-in .clang-tidy over every source file of the tree, on
# all cores, using the compile commands of a configured build (default build/, or the
# directory given as the first argument). Any finding fails the check.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}

tidy=$(command -v run-clang-tidy-14 || command -v run-clang-tidy || true)
if [ -z "$tidy" ]; then
  echo "check-tidy: run-clang-tidy not found (bash scripts/install-deps.sh installs it)" >&2
  exit 2
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "check-tidy: $build/compile_commands.json missing; configure the build first" >&2
  exit 2
fi

jobs=$(nproc 2>/dev/null || echo 2)
binary=$(command -v clang-tidy-14 || command -v clang-tidy)
# Only the tree's own sources (not the build directories); headers follow .clang-tidy's
# HeaderFilterRegex.
if ! "$tidy" -clang-tidy-binary "$binary" -p "$build" -j "$jobs" -quiet \
  "^$root/(base|platform|config|net|decode|pop3|server|smtp|import|admin|setup|tests)/" \
  >"$build/clang-tidy.log" 2>&1; then
  grep -E '(error|warning): ' "$build/clang-tidy.log" | sort -u >&2 || cat "$build/clang-tidy.log" >&2
  echo "check-tidy: findings above (full output in $build/clang-tidy.log)" >&2
  exit 1
fi
echo "check-tidy: clean"
