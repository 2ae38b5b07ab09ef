#!/usr/bin/env bash
# The main job: records the simulated OPC DA 2.0 server into an SQLite file with the sample project
# (docs/samples/), then shows what was recorded and what to try next.
#   bash scripts/run.sh            records for 10 seconds
#   TAGSINK_RUN_SECONDS=60 bash scripts/run.sh
# Installs what is missing, configures and builds every command-line tool into build-run/ (one line per
# build step), works in build-run/sample/ (a fresh database each time). Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${TAGSINK_RUN_SECONDS:-10}
# The command-line tools; the desktop program needs Qt and is left to a full build.
tools=(tagsink-run tagsink-project tagsink-buffer tagclient-cli tagsink-make-sample)

echo "== Installing what is missing (scripts/deps.sh)"
TAGSINK_WINDOWS=0 bash scripts/deps.sh

# RelWithDebInfo as the build/ of the tutorial and docs/maintaining.md: with ccache, the two share their
# compiled objects.
# shellcheck source=scripts/ccache-env.sh
source scripts/ccache-env.sh
echo "== Configuring build-run/ (cmake; its output in build-run/configure.log)"
mkdir -p build-run
if ! cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAGSINK_WITH_BENCH=OFF \
  "${ccache_launcher[@]}" >build-run/configure.log 2>&1; then
  cat build-run/configure.log >&2
  echo "run.sh: configuring build-run/ failed (above, and in build-run/configure.log)" >&2
  exit 1
fi
echo "== Building ${tools[*]} into build-run/bin/ (a first build takes a few minutes)"
# Ninja prints one numbered line per step ([n/total]) when its output is not a terminal, and one line
# that it keeps rewriting when it is.
cmake --build build-run -j "$(nproc)" --target "${tools[@]}"

work=$root/build-run/sample
rm -rf "$work"
mkdir -p "$work"
cd "$work"
cp "$root/docs/samples/sample.DAT" sample.DAT
sqlite3 sample.db <"$root/docs/samples/sample.sql"

echo
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

cat <<EOF

== Where the data is
  the database:   $work/sample.db (SQLite; tables Readings and Events; sqlite3 sample.db)
  the project:    $work/sample.DAT (docs/samples/README.md says what it records)
  the tools:      $root/build-run/bin/

== Next: three things to try (in $work, with the tools on the PATH)
  cd $work && export PATH=$root/build-run/bin:\$PATH
  1. the values the recorder reads, straight from the simulated server:
       tagclient-cli read Tagsink.SimServer.DA2 Sine.Real8 Counter.Int4
  2. the project as text, to read or edit and import again (docs/project-text-format.md):
       tagsink-project export sample.DAT
  3. record again for 5 seconds and watch every statement it executes:
       tagsink-run sample.DAT --seconds 5 --log
Then the tutorial: docs/tutorial/getting-started.md
EOF
