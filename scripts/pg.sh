#!/usr/bin/env bash
# Starts or stops a throw-away PostgreSQL server on loopback for the tests.
#   scripts/pg.sh start DIR PORT   initialises DIR (once) and starts the server
#   scripts/pg.sh stop DIR
set -euo pipefail
cmd=$1 dir=$2 port=${3:-55432}
bindir=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
as_pg() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
case "$cmd" in
start)
  mkdir -p "$dir"
  [ "$(id -u)" = 0 ] && chown postgres: "$dir"
  if [ ! -f "$dir/data/PG_VERSION" ]; then
    as_pg "$bindir/initdb" -D "$dir/data" -U postgres --auth=trust >"$dir/initdb.log" 2>&1
  fi
  as_pg "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
    -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=${TAGSINK_PG_FSYNC:-off}" start >/dev/null
  ;;
stop)
  as_pg "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
  ;;
*) echo "usage: $0 start|stop DIR [PORT]" >&2; exit 2 ;;
esac
