#!/usr/bin/env bash
# tagsink-run's status page in a real browser, against the already-built build/ (TAGSINK_BUILD to use
# another folder): Debian's chromium driven by npm playwright-core (no browser download) sees a live value
# change and the database link turn red while the recorder's PostgreSQL server is stopped.
#
# playwright-core is installed into BUILD/browser-test (once; again only when the pinned version in
# tests/cli/http/browser/package.json changes). Ports: TAGSINK_BROWSER_PG_PORT (PostgreSQL, default 55440)
# and TAGSINK_BROWSER_HTTP_PORT (the recorder's endpoint, default 55441).
# TAGSINK_SCREENSHOT=FILE saves the page while both links are up (docs/images/status-page.png is made so).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
build=$(cd "${TAGSINK_BUILD:-build}" && pwd)
pg_port=${TAGSINK_BROWSER_PG_PORT:-55440}
http_port=${TAGSINK_BROWSER_HTTP_PORT:-55441}
chromium=${TAGSINK_CHROMIUM:-/usr/bin/chromium}

for tool in tagsink-run tagsink-make-sample tagsink-project; do
  if [ ! -x "$build/bin/$tool" ]; then
    echo "browser: $build/bin/$tool is not built" >&2
    exit 1
  fi
done
for tool in node npm "$chromium"; do
  if ! command -v "$tool" >/dev/null; then
    echo "browser: $tool is missing (scripts/deps.sh installs it)" >&2
    exit 1
  fi
done

# playwright-core, pinned; the browser is the system's.
modules=$build/browser-test
want=$(sed -n 's/.*"playwright-core": *"\([^"]*\)".*/\1/p' tests/cli/http/browser/package.json)
have=$(sed -n 's/^ *"version": *"\([^"]*\)".*/\1/p' "$modules/node_modules/playwright-core/package.json" 2>/dev/null || true)
if [ "$have" != "$want" ]; then
  mkdir -p "$modules"
  cp tests/cli/http/browser/package.json "$modules/package.json"
  echo "browser: installing playwright-core $want into $modules"
  (cd "$modules" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm install --no-audit --no-fund --loglevel=error)
fi
cp tests/cli/http/browser/status_page_test.mjs "$modules/"

work=$(mktemp -d /tmp/tagsink-browser.XXXXXX)
chmod 755 "$work" # the PostgreSQL server runs as the postgres user and must reach its folder
export TAGSINK_ODBC_DIR=$work/odbc
mkdir -p "$TAGSINK_ODBC_DIR"
# shellcheck source=scripts/test-env.sh
source scripts/test-env.sh
recorder=
cleanup() {
  if [ -n "$recorder" ]; then kill "$recorder" 2>/dev/null || true; wait "$recorder" 2>/dev/null || true; fi
  bash "$src/scripts/pg.sh" stop "$work/pg"
  rm -rf "$work"
}
trap cleanup EXIT

bash scripts/pg.sh start "$work/pg" "$pg_port"
conn="Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$pg_port;Database=postgres;Uid=postgres;Pwd=;"
mkdir -p "$work/run"
cd "$work/run"
"$build/bin/tagsink-make-sample" sample.DAT
# The sample project pointed at this server, with tables that fit it.
"$build/bin/tagsink-project" export sample.DAT | sed "s|^\( *DBString = \).*|\1\"$conn\"|" >sample.txt
"$build/bin/tagsink-project" import sample.txt sample.DAT
"$build/bin/tagsink-project" ddl sample.DAT --dialect postgresql >tables.sql
psql_bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)/psql
"$psql_bin" -q -h 127.0.0.1 -p "$pg_port" -U postgres -d postgres -v ON_ERROR_STOP=1 -f tables.sql

"$build/bin/tagsink-run" sample.DAT --log --seconds 300 --http "127.0.0.1:$http_port" 2>recorder.log &
recorder=$!

status=0
TAGSINK_URL="http://127.0.0.1:$http_port/" TAGSINK_CHROMIUM=$chromium \
  TAGSINK_OUTAGE_START="bash '$src/scripts/pg.sh' stop '$work/pg'" \
  TAGSINK_OUTAGE_END="bash '$src/scripts/pg.sh' start '$work/pg' $pg_port" \
  node "$modules/status_page_test.mjs" || status=1

kill -TERM "$recorder"
if ! wait "$recorder"; then
  echo "browser: tagsink-run did not stop cleanly" >&2
  status=1
fi
recorder=
if [ "$status" != 0 ]; then
  echo "browser: the recorder's log:" >&2
  tail -n 40 recorder.log >&2
fi
exit "$status"
