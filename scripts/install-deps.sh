#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demonstration need.
# Idempotent: packages already present are skipped, and the package lists are refreshed
# at most once, only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format clang-tidy pkg-config python3
  libgtest-dev libgmock-dev
  libssl-dev openssl dante-server microsocks iproute2 util-linux
  libsystemd-dev
  zlib1g-dev libminizip-dev dovecot-pop3d postfix
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  installing_postfix=no
  if [[ " ${missing[*]} " == *" postfix "* ]]; then
    installing_postfix=yes
    # Postfix is only a test peer (the tests run private instances): "No configuration"
    # leaves no system mail server, where the noninteractive default ("Internet Site")
    # would start one on port 25.
    echo "postfix postfix/main_mailer_type select No configuration" |
      $SUDO debconf-set-selections
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  if [ "$installing_postfix" = yes ] && $SUDO postfix status >/dev/null 2>&1; then
    # A configuration left from an earlier installation started the system instance.
    $SUDO postfix stop || true
    if command -v systemctl >/dev/null; then $SUDO systemctl disable --now postfix || true; fi
  fi
fi
