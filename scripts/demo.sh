#!/usr/bin/env bash
# One command for a newcomer: installs what is missing (scripts/deps.sh), builds the module and
# its companion programs, creates a demo installation under demo/ (the same data every time)
# and starts the module on it in this terminal.
#
#   ./scripts/demo.sh           run the module on the demo data (Esc on the selection leaves)
#   ./scripts/demo.sh --check   run it inside tmux without a person: wait for the selection
#                               screen, press Esc, and succeed when the program ended cleanly
#
# Without a terminal on standard input (as in CI) the check is what runs.
# PALVORIN_PG keeps the demo's data on a PostgreSQL server (see README, Data on a server).
# PALVORIN_BUILD_DIR picks the build folder (default build/), JOBS the parallel build jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
check=0
if [ "${1:-}" = "--check" ] || [ ! -t 0 ]; then check=1; fi

"$repo/scripts/deps.sh"
build=${PALVORIN_BUILD_DIR:-$repo/build}
cmake -S "$repo" -B "$build" -DPALVORIN_WERROR=ON >/dev/null
cmake --build "$build" -j"${JOBS:-$(nproc)}" \
  --target palvorin ZODIRUDI mkdemo zepdata install_data dictionaries help_files

# The installation root: the build's installation data, then the demo data over it.
demo=$repo/demo
inst=$build/inst
mkdir -p "$demo/tmp"
for folder in FORMS LOCALE AJUDA ddf; do
  rm -rf "${demo:?}/$folder"
  if [ -d "$inst/$folder" ]; then cp -r "$inst/$folder" "$demo/$folder"; fi
done
"$inst/exe/mkdemo" --replace "$demo" "$demo/tmp"
# With PALVORIN_PG (a libpq connection string) the demo's data moves to that PostgreSQL
# database, and Kora.ini sends the module there.
if [ -n "${PALVORIN_PG:-}" ]; then
  "$inst/exe/zepdata" copy --replace "$demo/DADES" "$PALVORIN_PG"
  printf '[Dades]\r\nServidor=%s\r\n' "$PALVORIN_PG" >>"$demo/Kora.ini"
fi

export ZEPROOT="$demo/" ZEPEXE="$inst/exe/" ZEPTMP="$demo/tmp/"
if [ "$check" = 0 ]; then
  cd "$demo"
  exec "$inst/exe/palvorin"
fi

# The check: the module in a private tmux server, driven like an operator would.
socket="palvorin-demo-$$"
tmux_() { tmux -L "$socket" -f /dev/null "$@"; }
result="$demo/tmp/check-exit"
rm -f "$result"
trap 'tmux_ kill-server 2>/dev/null || true' EXIT
tmux_ new-session -d -x 80 -y 25 \
  "cd '$demo' && '$inst/exe/palvorin'; echo \$? > '$result'; sleep 2"
# waits up to $2 tenths of a second for text $1 on the screen
wait_for() {
  for ((i = 0; i < $2; i++)); do
    if tmux_ capture-pane -p 2>/dev/null | grep -q -- "$1"; then return 0; fi
    sleep 0.1
  done
  echo "demo check: \"$1\" never appeared; the screen was:" >&2
  tmux_ capture-pane -p >&2 || true
  return 1
}
wait_for "Mode de treball" 300
tmux_ send-keys Escape
for ((i = 0; i < 100; i++)); do
  if [ -s "$result" ]; then break; fi
  sleep 0.1
done
code=$(cat "$result" 2>/dev/null || echo none)
if [ "$code" != 0 ]; then
  echo "demo check: the module ended with exit code $code" >&2
  exit 1
fi
echo "demo check: the selection screen came up and Esc ended the module cleanly"
