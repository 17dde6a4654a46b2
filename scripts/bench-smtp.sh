#!/usr/bin/env bash
# Benchmark of outbound delivery: N queued messages (message and index files written into
# MSG-OUT of a private program directory; most 2-8 KB, some 20-200 KB, a few 1-5 MB) are
# delivered by runnel to Postfix's smtp-sink on loopback. Prints messages per second,
# runnel's CPU seconds and peak memory (RSS), and the time smtp-source (Postfix's own load
# generator) needs for the same count and sizes against the same smtp-sink, so the two can
# be compared. Runnel's time includes its start and the manager's first one-second round.
#
#   scripts/bench-smtp.sh [--smoke] [N]     (N defaults to 2000; --smoke uses 40)
#   BUILD_DIR (default build-bench; configured RelWithDebInfo when new) is built first.
set -euo pipefail
cd "$(dirname "$0")/.."

count=2000
if [ "${1:-}" = "--smoke" ]; then
  count=40
  shift
fi
count=${1:-$count}
build=${BUILD_DIR:-build-bench}

for tool in smtp-sink smtp-source python3; do
  if ! command -v "$tool" >/dev/null && [ ! -x "/usr/sbin/$tool" ]; then
    echo "bench-smtp: $tool not found (bash scripts/install-deps.sh installs it)" >&2
    exit 2
  fi
done
sink=$(command -v smtp-sink || echo /usr/sbin/smtp-sink)
source=$(command -v smtp-source || echo /usr/sbin/smtp-source)

# A build directory that exists is used as it is configured (CI passes its normal build).
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target runnel >/dev/null

work=$(mktemp -d /tmp/quillet-bench-smtp-XXXXXX)
sink_pid=
runnel_pid=
cleanup() {
  [ -n "$runnel_pid" ] && kill "$runnel_pid" 2>/dev/null || true
  [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
wait_for_port() {
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "bench-smtp: nothing listens on port $1" >&2
  exit 1
}
start_sink() {
  local port=$1
  local user=()
  [ "$(id -u)" -eq 0 ] && user=(-u nobody)
  "$sink" "${user[@]}" 127.0.0.1:"$port" 256 >"$work/sink.log" 2>&1 &
  sink_pid=$!
  wait_for_port "$port"
}
stop_sink() {
  kill "$sink_pid" 2>/dev/null || true
  wait "$sink_pid" 2>/dev/null || true
  sink_pid=
}

# The queue: message files in transfer form and their index files, sizes by a fixed seed.
home="$work/home"
mkdir -m 700 -p "$home/MSG-OUT"
python3 - "$home" "$count" >"$work/sizes" <<'EOF'
import datetime, random, sys
home, count = sys.argv[1], int(sys.argv[2])
# Queue times count in seconds since 1994-01-01 00:00 local time.
now = int((datetime.datetime.now() - datetime.datetime(1994, 1, 1)).total_seconds())
rng = random.Random(20261208)
line = "The quick brown fox jumps over the lazy dog, again and again and again.\r\n"
for n in range(1, count + 1):
    pick = rng.random()
    if pick < 0.02 or n == count:
        size = rng.randint(1 << 20, 5 << 20)
    elif pick < 0.15:
        size = rng.randint(20 << 10, 200 << 10)
    else:
        size = rng.randint(2 << 10, 8 << 10)
    head = "From: bench@example.org\r\nTo: sink@example.com\r\nSubject: message %d\r\n\r\n" % n
    body = line * max(1, (size - len(head)) // len(line))
    name = "MSG%05x" % n
    with open("%s/MSG-OUT/%s.TXT" % (home, name), "w", newline="") as f:
        f.write(head + body + ".\r\n")
    lines = [""] * 55
    lines[0] = "%s/MSG-OUT/%s.ONX" % (home, name)
    lines[1] = "%s/MSG-OUT/%s.TXT" % (home, name)
    lines[2] = str(now)
    lines[3] = "8"
    lines[12] = "1"
    lines[20] = "bench@example.org"
    lines[21] = "3"
    lines[22] = "0"
    lines[30] = str(now + 259200)
    lines[31] = "0"
    lines[33] = "0"
    lines[34] = "0"
    lines += ["sink@example.com", "0"] + [""] * 8
    with open("%s/MSG-OUT/%s.ONX" % (home, name), "w", newline="") as f:
        f.write("".join(l + "\r\n" for l in lines))
    print(len(head) + len(body) + 3)
EOF
total_bytes=$(awk '{s += $1} END {print s}' "$work/sizes")

# Runnel against smtp-sink.
port=$(free_port)
start_sink "$port"
printf 'SmartHost=127.0.0.1\r\nSMTPOutboundPort=%s\r\nCheckExchange=0\r\nOutboundSTARTTLS=0\r\nInterval=1\r\nThreadStartupDelay=0\r\nVerbose=0\r\nPostmaster=postmaster@example.com\r\n' \
  "$port" >"$home/QUILLET.INI"
: >"$home/DataPOP.DAT"
start=$(date +%s.%N)
QUILLET_HOME="$home" "$build/bin/runnel" >"$work/runnel.out" 2>&1 </dev/null &
runnel_pid=$!
# The first delivery marks the end of the start (settings, reload, the manager's first
# one-second round); the rest is the delivery itself.
first=
while :; do
  left=$(find "$home/MSG-OUT" -name '*.ONX' | wc -l)
  [ "$left" -eq 0 ] && break
  if [ -z "$first" ] && [ "$left" -lt "$count" ]; then first=$(date +%s.%N); fi
  if ! kill -0 "$runnel_pid" 2>/dev/null; then
    echo "bench-smtp: runnel ended early:" >&2
    cat "$work/runnel.out" >&2
    exit 1
  fi
  sleep 0.05
done
end=$(date +%s.%N)
[ -z "$first" ] && first=$end
ticks=$(getconf CLK_TCK)
cpu=$(awk -v t="$ticks" '{printf "%.2f", ($14 + $15) / t}' "/proc/$runnel_pid/stat")
peak=$(awk '/^VmHWM/ {print $2}' "/proc/$runnel_pid/status")
kill -TERM "$runnel_pid"
wait "$runnel_pid" || true
runnel_pid=
stop_sink
runnel_time=$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.2f", b - a}')
delivery_time=$(awk -v a="$first" -v b="$end" 'BEGIN {printf "%.2f", b - a}')

# smtp-source: the same count and bytes, one run per size class (smtp-source sends messages
# of one length per run), each over one connection with the class's average size.
port=$(free_port)
start_sink "$port"
source_start=$(date +%s.%N)
awk '{ if ($1 < 16384) s = "small"; else if ($1 < 1048576) s = "medium"; else s = "large";
       n[s]++; b[s] += $1 }
     END { for (s in n) print n[s], int(b[s] / n[s]) }' "$work/sizes" |
  while read -r messages bytes; do
    "$source" -s 1 -m "$messages" -l "$bytes" -f bench@example.org -t sink@example.com \
      127.0.0.1:"$port"
  done
source_end=$(date +%s.%N)
stop_sink
source_time=$(awk -v a="$source_start" -v b="$source_end" 'BEGIN {printf "%.2f", b - a}')

awk -v n="$count" -v bytes="$total_bytes" -v t="$runnel_time" -v d="$delivery_time" \
  -v cpu="$cpu" -v peak="$peak" -v st="$source_time" 'BEGIN {
    printf "messages: %d (%.1f MB)\n", n, bytes / 1048576
    printf "runnel: %.2f s from its start, %.1f messages/s, CPU %.2f s, peak memory %d KiB\n",
      t, n / t, cpu, peak
    if (d > 0)
      printf "runnel after its first delivery: %.2f s for %d messages, %.1f messages/s\n",
        d, n - 1, (n - 1) / d
    else
      print "runnel after its first delivery: less than one look at the queue"
    printf "smtp-source: %.2f s, %.1f messages/s\n", st, n / st
    printf "ratio runnel / smtp-source: %.2f from its start, %.2f after its first delivery\n",
      t / st, d / st
  }'
