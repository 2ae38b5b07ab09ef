#!/usr/bin/env bash
# The main job: records the simulated OPC DA 2.0 server into an SQLite file with the sample project
# (docs/samples/), then shows what was recorded.
#   bash scripts/run.sh            records for 10 seconds
#   TAGSINK_RUN_SECONDS=60 bash scripts/run.sh
# Installs what is missing, configures and builds into build-run/, works in build-run/sample/ (a fresh
# database each time). Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${TAGSINK_RUN_SECONDS:-10}

TAGSINK_WINDOWS=0 bash scripts/deps.sh

echo "== Building tagsink-run into build-run/"
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGSINK_WITH_BENCH=OFF >/dev/null
cmake --build build-run -j "$(nproc)" --target tagsink-run tagsink-make-sample >/dev/null

work=$root/build-run/sample
rm -rf "$work"
mkdir -p "$work"
cd "$work"
cp "$root/docs/samples/sample.DAT" sample.DAT
sqlite3 sample.db <"$root/docs/samples/sample.sql"

echo "== Recording the simulated OPC DA 2.0 server into $work/sample.db for $seconds seconds"
status=0
"$root/build-run/bin/tagsink-run" sample.DAT --seconds "$seconds" || status=$?
if [ $status -ne 0 ]; then
  echo "tagsink-run failed with status $status" >&2
  exit $status
fi

echo
echo "== What was recorded"
sqlite3 sample.db "select 'Readings: ' || count(*) || ' rows' from Readings; select 'Events:   ' || count(*) || ' rows' from Events;"
echo
echo "-- the last 5 snapshot rows (table Readings)"
sqlite3 -header -column sample.db "select * from (select * from Readings order by Id desc limit 5) order by Id;"
echo
echo "-- the last 6 change rows (table Events)"
sqlite3 -header -column sample.db "select * from (select * from Events order by Id desc limit 6) order by Id;"
if [ -e sql.dat ]; then
  echo
  echo "Statements kept for the next run in $work/sql.dat: $(wc -l <sql.dat)"
fi
