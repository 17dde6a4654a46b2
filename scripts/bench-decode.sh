#!/usr/bin/env bash
# Benchmark of the message parser: generates messages with a base64 attachment of two
# sizes (default 8 and 64 MiB of encoded data), parses each with attachment files on,
# and prints time and peak memory. The parser streams parts through fixed buffers, so the
# peak memory of the large message must match the small one; the script fails otherwise.
#
#   scripts/bench-decode.sh [SMALL_MB] [LARGE_MB]     (BUILD_DIR defaults to build)
set -euo pipefail
cd "$(dirname "$0")/.."

small=${1:-8}
large=${2:-64}
build=${BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_decode >/dev/null

work=$(mktemp -d /tmp/quillet-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

declare -A peak
for size in "$small" "$large"; do
  "$build/bin/bench_decode" generate "$work/MSG$size.TXT" "$size"
  bytes=$(stat -c %s "$work/MSG$size.TXT")
  line=$("$build/bin/bench_decode" parse "$work/MSG$size.TXT" "$work")
  echo "message of $bytes bytes: $line"
  peak[$size]=$(sed -E 's/.*peak memory ([0-9]+) KiB.*/\1/' <<<"$line")
  rm -f "$work/MSG$size.TXT"
done

growth=$((peak[$large] - peak[$small]))
echo "peak memory grew by ${growth} KiB from ${small} MiB to ${large} MiB of attachment"
if [ "$growth" -gt 2048 ]; then
  echo "FAIL: memory grows with the message size" >&2
  exit 1
fi
echo "OK: memory is bounded by the parser's buffers"
