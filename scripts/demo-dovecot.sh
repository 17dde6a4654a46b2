#!/usr/bin/env bash
# The demonstration's POP3 mailbox: a private Dovecot on a loopback port with one user,
# "joe" with the password "secret", whose Maildir holds a few sample messages for Runnel
# to fetch. Everything lives in demo/dovecot (or in DEMO_DOVECOT_DIR); the system's own
# Dovecot configuration and instance are never touched.
#
#   start [PORT]              stops an instance left over from an earlier run, puts the
#                             sample messages into the mailbox (beside any mail still
#                             there) and starts Dovecot on PORT (default: the first free
#                             port from 11110); prints the port
#   stop                      stops this directory's Dovecot (by the PID it recorded)
#   status                    says whether it runs, on which port, how many messages wait
#   add-sample                adds the sample messages once more (also while Dovecot runs)
#   add FILE...               adds message files (RFC 5322 text, LF or CR LF line ends)
#   mailbox-port DATAPOP      prints the port of the demonstration mailbox in a DataPOP.DAT
#                             (nothing when the file holds no such record)
#   write-mailbox DATAPOP PORT  writes DataPOP.DAT with the one demonstration mailbox
#
# As root, the mail belongs to "nobody" (Dovecot refuses to read mail as root) and Dovecot
# drops its privileges as usual. As an ordinary user, Dovecot runs entirely under that
# user, without chroot, and needs no sudo. The sample messages are made up for the
# demonstration; they are not meant to test the parser's limits.
set -euo pipefail
export LC_ALL=C

repo="$(cd "$(dirname "$0")/.." && pwd)"
dir="${DEMO_DOVECOT_DIR:-$repo/demo/dovecot}"
conf="$dir/dovecot.conf"
maildir="$dir/home/joe/Maildir"
readonly user="joe" password="secret"
readonly first_port=11110 last_port=11199

fail() {
  echo "demo-dovecot: $*" >&2
  exit 1
}

# --- who owns the mail -----------------------------------------------------------------

if [ "$(id -u)" -eq 0 ]; then
  mail_uid=65534
  mail_gid=65534
  login_user="dovenull"
  internal_user="dovecot"
  internal_group="dovecot"
else
  mail_uid="$(id -u)"
  mail_gid="$(id -g)"
  login_user="$(id -un)"
  internal_user="$login_user"
  internal_group="$(id -gn)"
fi

# Creates a directory that the mail user can enter and own.
make_mail_directory() {
  mkdir -p "$1"
  chmod 755 "$1"
  [ "$(id -u)" -ne 0 ] || chown "$mail_uid:$mail_gid" "$1"
}

# --- configuration ---------------------------------------------------------------------

write_configuration() {
  local port=$1
  mkdir -p "$dir"
  chmod 755 "$dir"
  make_mail_directory "$dir/home"
  make_mail_directory "$dir/home/joe"
  make_mail_directory "$maildir"
  local sub
  for sub in cur new tmp; do make_mail_directory "$maildir/$sub"; done

  printf '%s:{PLAIN}%s:%s:%s::%s::\n' "$user" "$password" "$mail_uid" "$mail_gid" \
    "$dir/home/joe" >"$dir/passwd"
  chmod 644 "$dir/passwd"

  # Without root Dovecot cannot chroot its login processes or switch users: everything
  # runs as the calling user.
  local rootless=""
  if [ "$(id -u)" -ne 0 ]; then
    rootless="service anvil {
  chroot =
}
service pop3-login {
  chroot =
}
service imap-login {
  chroot =
}"
  fi

  cat >"$conf" <<EOF
# Private Dovecot of the Quillet demonstration (written by scripts/demo-dovecot.sh)
instance_name = quillet-demo-$port
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login apop
default_login_user = $login_user
default_internal_user = $internal_user
default_internal_group = $internal_group
mail_location = maildir:~/Maildir
pop3_uidl_format = %08Xu%08Xv
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/passwd
}
userdb {
  driver = passwd-file
  args = username_format=%u $dir/passwd
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
  inet_listener pop3s {
    port = 0
  }
}
$rootless
EOF
  echo "$port" >"$dir/port"
}

# --- process control -------------------------------------------------------------------

# PID of this directory's running Dovecot master, or nothing.
running_pid() {
  local pid
  pid="$(cat "$dir/run/master.pid" 2>/dev/null || true)"
  [[ "$pid" =~ ^[0-9]+$ ]] || return 0
  # The PID file may outlive the process; only a live dovecot process counts.
  [ "$(cat "/proc/$pid/comm" 2>/dev/null || true)" = "dovecot" ] && echo "$pid"
  return 0
}

port_listening() {
  [ -n "$(ss -Hltn "sport = :$1" 2>/dev/null)" ]
}

choose_port() {
  local port
  for ((port = first_port; port <= last_port; port++)); do
    if ! port_listening "$port"; then
      echo "$port"
      return 0
    fi
  done
  fail "no free port between $first_port and $last_port"
}

stop_dovecot() {
  local pid
  pid="$(running_pid)"
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || true
  local i
  for ((i = 0; i < 100; i++)); do
    [ -d "/proc/$pid" ] || return 0
    sleep 0.1
  done
  echo "demo-dovecot: Dovecot (PID $pid) did not stop within 10 seconds" >&2
  return 1
}

start_dovecot() {
  local port=${1:-}
  command -v dovecot >/dev/null || fail "dovecot is not installed (package dovecot-pop3d)"
  stop_dovecot
  if [ -z "$port" ]; then
    port="$(choose_port)"
  elif port_listening "$port"; then
    fail "port $port is in use by another program; free it, or delete the demonstration's DataPOP.DAT so that a new port is chosen"
  fi
  write_configuration "$port"
  if [ "$(id -u)" -eq 0 ] &&
    ! setpriv --reuid="$mail_uid" --regid="$mail_gid" --clear-groups test -x "$maildir/cur"; then
    fail "user nobody cannot reach $maildir; make its parent directories enterable (chmod o+x)"
  fi
  remove_unfinished
  add_samples
  # Without -F Dovecot detaches into its own session, so Ctrl+C in the demonstration's
  # terminal does not reach it; it records its PID in run/master.pid.
  : >"$dir/dovecot.log"
  dovecot -c "$conf" || fail "dovecot did not start; see $dir/dovecot.log"
  local i
  for ((i = 0; i < 150; i++)); do
    if port_listening "$port"; then
      echo "$port"
      return 0
    fi
    sleep 0.1
  done
  stop_dovecot || true
  fail "dovecot does not listen on 127.0.0.1:$port; see $dir/dovecot.log"
}

# --- the mailbox -----------------------------------------------------------------------

# Files a delivery that was cut short left in tmp/ (never seen by Dovecot).
remove_unfinished() {
  find "$maildir/tmp" -mindepth 1 -maxdepth 1 -type f -name "incoming.*" -delete
}

messages_waiting() {
  find "$maildir/cur" "$maildir/new" -mindepth 1 -maxdepth 1 -type f 2>/dev/null | wc -l
}

# Delivers the message text on standard input the Maildir way: written into tmp/, then
# renamed into new/, so Dovecot never sees half a file. Line ends become LF (the Maildir
# form); S= (size) and W= (size with CR LF line ends) in the name spare Dovecot reading
# the file to learn them.
deliver() {
  [ -d "$maildir/new" ] || fail "no demonstration mailbox yet; run '$0 start' first"
  local temp
  temp="$(mktemp "$maildir/tmp/incoming.XXXXXX")"
  sed 's/\r$//' >"$temp"
  local size lines name
  size=$(stat -c %s "$temp")
  lines=$(wc -l <"$temp")
  name="$(date +%s).M$(date +%N | cut -c1-6)P$$R$RANDOM.quillet-demo,S=$size,W=$((size + lines))"
  chmod 600 "$temp"
  [ "$(id -u)" -ne 0 ] || chown "$mail_uid:$mail_gid" "$temp"
  mv "$temp" "$maildir/new/$name"
}

# The sample messages: a plain note, one with an attachment, one whose body has lines that
# start with dots (POP3 has to stuff them), and one with encoded non-ASCII text.
add_samples() {
  local date stamp
  date="$(date -R)"
  stamp="$(date +%s).$$"

  deliver <<EOF
Return-Path: <support@provider.example>
Received: from relay.provider.example (relay.provider.example [192.0.2.25])
	by mx.provider.example with ESMTP id 7A1C04
	for <anna@demo.example>; $date
From: Provider Support <support@provider.example>
To: Anna Weber <anna@demo.example>
Subject: Welcome to the Quillet demonstration
Date: $date
Message-ID: <$stamp.1@provider.example>
MIME-Version: 1.0
Content-Type: text/plain; charset=us-ascii

Hello Anna,

this message waited in the demonstration's POP3 mailbox until Runnel
fetched it. You find it in demo/home/MSG-IN now, next to its index file.

Kind regards,
Provider Support
EOF

  local attachment
  attachment="$(printf '%s\r\n' 'Item;Quantity;Price' 'Paper A4;10;4.90' \
    'Toner black;2;59.00' 'Stapler;1;12.50' | base64)"
  deliver <<EOF
Return-Path: <orders@supplier.example>
Received: from mail.supplier.example (mail.supplier.example [198.51.100.7])
	by mx.provider.example with ESMTP id 7A1C05
	for <ben@demo.example>; $date
From: Supplier Orders <orders@supplier.example>
To: ben@demo.example
Subject: Your order with price list
Date: $date
Message-ID: <$stamp.2@supplier.example>
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="=-quillet-demo-boundary-1"

This is a multi-part message in MIME format.

--=-quillet-demo-boundary-1
Content-Type: text/plain; charset=us-ascii

Dear Ben,

attached is the price list for your order.

Supplier Orders
--=-quillet-demo-boundary-1
Content-Type: text/csv; name="price-list.csv"
Content-Transfer-Encoding: base64
Content-Disposition: attachment; filename="price-list.csv"

$attachment
--=-quillet-demo-boundary-1--
EOF

  deliver <<EOF
Return-Path: <carla@partner.example>
Received: from smtp.partner.example (smtp.partner.example [203.0.113.40])
	by mx.provider.example with ESMTP id 7A1C06
	for <anna@demo.example>; $date
From: Carla Neri <carla@partner.example>
To: anna@demo.example, ben@demo.example
Subject: Dotted lines
Date: $date
Message-ID: <$stamp.3@partner.example>
MIME-Version: 1.0
Content-Type: text/plain; charset=us-ascii

The next line holds a single dot, which would end the message on the wire
if the server did not double it:
.
..two dots at the start of this line
.and one here
...
Runnel keeps the doubled dots in the stored file (the POP3 wire form).
EOF

  deliver <<EOF
Return-Path: <jurgen@partner.example>
Received: from smtp.partner.example (smtp.partner.example [203.0.113.40])
	by mx.provider.example with ESMTP id 7A1C07
	for <ben@demo.example>; $date
From: =?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <jurgen@partner.example>
To: ben@demo.example
Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_M=C3=BCnchen?=
Date: $date
Message-ID: <$stamp.4@partner.example>
MIME-Version: 1.0
Content-Type: text/plain; charset=UTF-8
Content-Transfer-Encoding: quoted-printable

Hallo Ben,

viele Gr=C3=BC=C3=9Fe aus M=C3=BCnchen. Die Besprechung ist am Donnerstag um =
10 Uhr.

J=C3=BCrgen
EOF
}

add_files() {
  [ $# -gt 0 ] || fail "add: name at least one message file"
  local file
  for file in "$@"; do
    [ -f "$file" ] || fail "add: $file is not a file"
  done
  for file in "$@"; do deliver <"$file"; done
}

# --- the mailbox record of DataPOP.DAT -------------------------------------------------

# The stored form of a mailbox password: "22" followed by two upper-case hexadecimal
# digits per password byte, the byte XORed with key byte (i mod 10). The same as
# scramble() in base/Password.cpp; POP3 mailbox passwords use the key "Kwemtal Zorbu",
# of which only the first 10 characters take part. Positions past the end of a shorter
# key are XORed with 0 there too.
scramble() {
  local plain=$1 key=$2 stored="22" i byte keybyte
  for ((i = 0; i < ${#plain}; i++)); do
    printf -v byte '%d' "'${plain:i:1}"
    keybyte=0
    if ((i % 10 < ${#key})); then printf -v keybyte '%d' "'${key:i%10:1}"; fi
    printf -v stored '%s%02X' "$stored" $(((byte ^ keybyte) & 0xFF))
  done
  echo "$stored"
}

# One field of a record: the value cut or blank-padded to the width, then "|".
record_field() {
  printf '%-*.*s|' "$2" "$2" "$1"
}

# The DataPOP.DAT record of the demonstration mailbox without its closing CR LF (1022 of
# its 1024 bytes): fetched every minute on every day from 00:00 to 23:59, recipients
# detected automatically, plain POP3.
mailbox_record() {
  local port=$1
  printf '| |'
  record_field "$user" 50
  record_field "$(scramble "$password" "Kwemtal Zorbu")" 102
  record_field "127.0.0.1" 128
  record_field "" 128        # route-to address: none
  record_field "00:00" 5     # schedule from
  record_field "23:59" 5     # schedule until (exclusive)
  record_field "1" 10        # every, minutes
  record_field "XXXXXXX" 7   # weekdays, Sunday first
  record_field "Demo mailbox" 50
  record_field "$port" 10
  record_field "" 1          # disabled flag: clear
  record_field "" 1          # connection security: plain
  record_field "" 509        # reserved
}

write_mailbox() {
  local file=${1:?write-mailbox: name the DataPOP.DAT file} port=${2:?write-mailbox: give the port}
  [[ "$port" =~ ^[0-9]+$ ]] || fail "write-mailbox: $port is not a port number"
  local record
  record="$(mailbox_record "$port")"
  [ ${#record} -eq 1022 ] || fail "internal error: the mailbox record has ${#record} bytes"
  (
    umask 077
    printf '%s\r\n' "$record" >"$file"
  )
}

# Blanks (and other white space) cut from both ends.
trimmed() {
  local text=$1
  text="${text#"${text%%[![:space:]]*}"}"
  text="${text%"${text##*[![:space:]]}"}"
  echo "$text"
}

mailbox_port() {
  local file=${1:?mailbox-port: name the DataPOP.DAT file}
  [ -f "$file" ] || return 0
  local count i record field_user field_host field_port
  count=$(($(stat -c %s "$file") / 1024))
  for ((i = 0; i < count; i++)); do
    record="$(dd if="$file" bs=1024 skip="$i" count=1 2>/dev/null | tr '\0' ' ')"
    # Deleted (byte 1) and disabled (byte 508) records are not fetched.
    if [ "${record:1:1}" != " " ] || [ "${record:508:1}" != " " ]; then continue; fi
    field_user="$(trimmed "${record:3:50}")"
    field_host="$(trimmed "${record:157:128}")"
    field_port="$(trimmed "${record:497:10}")"
    if [ "$field_user" = "$user" ] && [ "$field_host" = "127.0.0.1" ] &&
      [[ "$field_port" =~ ^[0-9]+$ ]]; then
      echo "$field_port"
      return 0
    fi
  done
}

# --- commands --------------------------------------------------------------------------

command=${1:-}
[ $# -eq 0 ] || shift
case "$command" in
  start) start_dovecot "${1:-}" ;;
  stop) stop_dovecot ;;
  status)
    pid="$(running_pid)"
    if [ -n "$pid" ]; then
      echo "Dovecot runs (PID $pid) on 127.0.0.1:$(cat "$dir/port"); user $user, password $password"
    else
      echo "Dovecot does not run"
    fi
    echo "Messages waiting: $(messages_waiting)"
    ;;
  add-sample) add_samples ;;
  add) add_files "$@" ;;
  mailbox-port) mailbox_port "$@" ;;
  write-mailbox) write_mailbox "$@" ;;
  *)
    echo "Usage: bash scripts/demo-dovecot.sh COMMAND, where COMMAND is one of" >&2
    sed -n '/^#   /s/^#  //p' "$0" >&2
    exit 2
    ;;
esac
