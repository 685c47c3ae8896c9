#!/usr/bin/env bash
# Installs what building and testing need, when it is missing (Debian packages), and the
# packages named as arguments (the packaging script's tools).
set -euo pipefail
need=()
for pkg in cmake g++ make pkg-config libsqlite3-dev googletest libgtest-dev libgmock-dev \
           libcairo2-dev tmux sqlite3 libpq-dev postgresql "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || need+=("$pkg")
done
if ((${#need[@]})); then
  echo "installing: ${need[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi
