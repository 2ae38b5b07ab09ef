#!/usr/bin/env bash
# Starts or stops a throw-away MariaDB server on loopback for the tests.
#   scripts/mariadb.sh start DIR PORT   initialises DIR (once) and starts the server; database "tagsink"
#   scripts/mariadb.sh stop DIR
# Root connects over TCP without a password (Uid=root;Pwd=;). The server keeps its data, socket, pid file
# and log inside DIR; durability is traded for speed as for the PostgreSQL test server.
set -euo pipefail
cmd=$1 dir=$2 port=${3:-55450}
# mariadbd refuses to run as root unless told so; the server is ours and lives in DIR only.
user=$(id -un)
case "$cmd" in
start)
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  if [ ! -d "$dir/data/mysql" ]; then
    mariadb-install-db --no-defaults --datadir="$dir/data" --user="$user" --auth-root-authentication-method=normal \
      --skip-test-db --skip-name-resolve >"$dir/install.log" 2>&1
  fi
  if [ -f "$dir/mariadbd.pid" ] && kill -0 "$(cat "$dir/mariadbd.pid")" 2>/dev/null; then
    echo "a server already runs in $dir" >&2
    exit 1
  fi
  rm -f "$dir/mariadbd.pid"
  # setsid: the server leaves the caller's process group, so a job control stop of the caller spares it
  setsid mariadbd --no-defaults --user="$user" --datadir="$dir/data" --port="$port" --bind-address=127.0.0.1 \
    --socket="$dir/mariadbd.sock" --pid-file="$dir/mariadbd.pid" --log-error="$dir/server.log" \
    --character-set-server=utf8mb4 --collation-server=utf8mb4_unicode_ci \
    --skip-name-resolve --skip-log-bin --performance-schema=OFF --innodb-buffer-pool-size=32M \
    --innodb-log-file-size=16M --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 \
    --skip-innodb-use-native-aio --max-connections=100 </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 200); do
    if mariadb --no-defaults -S "$dir/mariadbd.sock" -u root \
      -e "create database if not exists tagsink character set utf8mb4" \
      >/dev/null 2>&1; then
      exit 0
    fi
    sleep 0.05
  done
  echo "MariaDB did not start in $dir" >&2
  tail -n 20 "$dir/server.log" >&2 || true
  exit 1
  ;;
stop)
  [ -f "$dir/mariadbd.pid" ] || exit 0
  pid=$(cat "$dir/mariadbd.pid")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 200); do
    kill -0 "$pid" 2>/dev/null || { rm -f "$dir/mariadbd.pid"; exit 0; }
    sleep 0.05
  done
  kill -9 "$pid" 2>/dev/null || true
  rm -f "$dir/mariadbd.pid"
  ;;
*) echo "usage: $0 start|stop DIR [PORT]" >&2; exit 2 ;;
esac
