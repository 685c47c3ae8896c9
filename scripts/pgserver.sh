#!/usr/bin/env bash
# A private PostgreSQL cluster for the tests and benchmarks, listening only on a Unix socket in
# its own temporary folder (no TCP port, nothing left behind).
#   scripts/pgserver.sh start        starts one; its last line is the connection string
#   scripts/pgserver.sh stop FOLDER  stops it and removes FOLDER
# Run as root, the cluster runs as the postgres user; its superuser is "palvorin" (trust over
# the socket, which only the folder's owner and root can reach) and it holds the database
# "palvorin".
set -euo pipefail
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -x "$bin/initdb" ] || { echo "pgserver: no PostgreSQL server installed" >&2; exit 1; }
as_owner=()
[ "$(id -u)" -eq 0 ] && as_owner=(runuser -u postgres --)

case "${1:-}" in
  start)
    dir=$(mktemp -d /tmp/palvorin-pg.XXXXXX)
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    "${as_owner[@]}" "$bin/initdb" -D "$dir/data" -U palvorin --auth=trust -E UTF8 \
      --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w start \
      -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c max_connections=200 \
          -c fsync=on -c synchronous_commit=on" >/dev/null ||
      { cat "$dir/server.log" >&2; exit 1; }
    "${as_owner[@]}" "$bin/createdb" -h "$dir" -U palvorin palvorin
    echo "pgserver: started $("$bin/postgres" --version) in $dir" >&2
    echo "host=$dir dbname=palvorin user=palvorin"
    ;;
  stop)
    dir=${2:?pgserver: stop needs the folder}
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    echo "pgserver: stopped the server in $dir" >&2
    rm -rf "$dir"
    ;;
  *)
    echo "usage: pgserver.sh start | stop FOLDER" >&2
    exit 2
    ;;
esac
