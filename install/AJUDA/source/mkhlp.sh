#!/bin/sh
# Regenerates the help files ../<TOPIC>.HLP from their readable sources <TOPIC>.txt (UTF-8),
# and the help in another language, ../<LANG>/<TOPIC>.HLP, from <LANG>/<TOPIC>.txt (LANG being
# the operator's language code: SPA, GLG, OCI). In a source "~" switches highlight on and off
# and "^" reverse; every line becomes 80 bytes of code page 850 with no line end, and at most
# 76 characters of it may show.
set -eu
cd "$(dirname "$0")"
for src in *.txt */*.txt; do
  [ -f "$src" ] || continue
  topic=${src%.txt}
  mkdir -p "../$(dirname "$src")"
  iconv -f UTF-8 -t CP850 "$src" | LC_ALL=C awk -v topic="$topic" '
    {
      line = $0
      gsub(/~/, "\036", line)
      gsub(/\^/, "\020", line)
      shown = line
      gsub(/[\020\036\037]/, "", shown)
      sub(/ +$/, "", shown)
      if (length(shown) > 76 || length(line) > 80) {
        printf "%s.txt line %d is too long\n", topic, NR > "/dev/stderr"
        exit 1
      }
      printf "%-80s", line
    }' > "../$topic.HLP.new"
  mv "../$topic.HLP.new" "../$topic.HLP"
done
