#!/usr/bin/env bash
# Builds Runnel and starts it in a demonstration program directory (demo/home), so that
# nothing outside this checkout is touched. Beside it runs a private Dovecot POP3 server
# (scripts/demo-dovecot.sh, files in demo/dovecot) with one mailbox full of sample
# messages, which Runnel fetches into demo/home/MSG-IN. A sample QUILLET.INI (mail host and
# postmaster) and DataPOP.DAT (the demonstration mailbox) are written the first time; edit
# and save QUILLET.INI while Runnel runs to see it restart.
# Stop Runnel with Escape and "y", with Ctrl+C, or with SIGTERM to Runnel or to this
# script; Dovecot is stopped with it. BUILD_DIR chooses the build directory (default build).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
build_dir="${BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j "$(nproc 2>/dev/null || echo 2)" --target runnel

export QUILLET_HOME="$PWD/demo/home"
mkdir -p "$QUILLET_HOME"
chmod 700 "$QUILLET_HOME"
if [ ! -f "$QUILLET_HOME/QUILLET.INI" ]; then
  (
    umask 077
    printf '%s\r\n' \
      '; Demonstration settings of Runnel' \
      'SmartHost=localhost' \
      'Postmaster=postmaster@demo.example' \
      'Interval=10' \
      'ThreadStartupDelay=1' \
      'Verbose=True' \
      'VerboseTransfer=False' \
      'InboundPOP3StatusDSN=False' > "$QUILLET_HOME/QUILLET.INI"
  )
fi

# The demonstration mailbox: a later run keeps the port recorded in DataPOP.DAT, and the
# record is written only while the file holds none (Runnel leaves an empty file behind).
datapop="$QUILLET_HOME/DataPOP.DAT"
port="$(bash scripts/demo-dovecot.sh mailbox-port "$datapop")"
trap 'bash scripts/demo-dovecot.sh stop' EXIT
port="$(bash scripts/demo-dovecot.sh start "$port")"
if [ ! -s "$datapop" ]; then
  bash scripts/demo-dovecot.sh write-mailbox "$datapop" "$port"
fi
echo "POP3 mailbox joe/secret on 127.0.0.1:$port; $(bash scripts/demo-dovecot.sh status | tail -n 1)"

# Runnel runs as a child so that the trap above stops Dovecot however Runnel ends. It
# stays in the terminal's foreground process group (no job control in a script), so it
# reads the keys itself and gets Ctrl+C from the terminal; standard input is handed over
# explicitly because a background command would otherwise read /dev/null.
runnel_pid=""
trap ':' INT
trap '[ -z "$runnel_pid" ] || kill -TERM "$runnel_pid" 2>/dev/null || true' TERM HUP
exec 3<&0
"$build_dir/bin/runnel" "$@" <&3 3<&- &
runnel_pid=$!
exec 3<&-
# wait returns early when a trapped signal arrives; wait again until Runnel has ended,
# then once more for its exit status (kept by the shell after the child is reaped).
while kill -0 "$runnel_pid" 2>/dev/null; do
  wait "$runnel_pid" || true
done
wait "$runnel_pid" && status=0 || status=$?
exit "$status"
