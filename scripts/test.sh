#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the normal build (build/) with all tests,
#   2. an AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/) with all tests,
#   3. a ThreadSanitizer build (build-tsan/) of the tests labelled "threaded",
# after a check that the sources are laid out as clang-format lays them out, and before the stages of
# scripts/test.d/ (docs, examples, fuzzing, Debian packages, the Windows cross-builds under Wine).
# A PostgreSQL and a MariaDB server are started on loopback for the database tests and stopped at the end.
# It ends with a table of its steps, their result and their time, and names what failed (the failed
# tests by name). Safe to run twice; exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

bash scripts/deps.sh

work=$(mktemp -d /tmp/tagsink-test.XXXXXX)
# the PostgreSQL server runs as the postgres user and must reach its folder inside
chmod 755 "$work"
export TAGSINK_ODBC_DIR=$work/odbc
mkdir -p "$TAGSINK_ODBC_DIR"
# shellcheck source=scripts/test-env.sh
source scripts/test-env.sh
pg_port=${TAGSINK_PG_PORT:-55432}
mariadb_port=${TAGSINK_MARIADB_PORT:-55433}
cleanup() {
  bash "$root/scripts/pg.sh" stop "$work/pg"
  bash "$root/scripts/mariadb.sh" stop "$work/mariadb"
}
trap cleanup EXIT
if bash scripts/pg.sh start "$work/pg" "$pg_port"; then
  export TAGSINK_PG_CONN="Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$pg_port;Database=postgres;Uid=postgres;Pwd=;"
  export TAGSINK_PG_DIR=$work/pg TAGSINK_PG_PORT=$pg_port
else
  echo "PostgreSQL could not be started; the PostgreSQL tests will fail" >&2
  tail -n 20 "$work"/pg/*.log >&2 || true
fi
# The MariaDB tests always get their connection string: a server that did not start makes them fail.
export TAGSINK_MARIADB_CONN="Driver={MariaDB Unicode};Server=127.0.0.1;Port=$mariadb_port;Database=tagsink;Uid=root;Pwd=;"
if ! bash scripts/mariadb.sh start "$work/mariadb" "$mariadb_port"; then
  echo "MariaDB could not be started; the MariaDB tests will fail" >&2
  tail -n 20 "$work"/mariadb/*.log >&2 || true
fi
export QT_QPA_PLATFORM=offscreen

# ccache, when installed, keeps compiled objects outside the clone: a second run, from this clone or
# from a fresh one elsewhere, rebuilds little. The stages below inherit its settings.
# shellcheck source=scripts/ccache-env.sh
source scripts/ccache-env.sh
# Line tables only (-g1): backtraces and sanitizer reports keep files and lines; a whole build takes
# about a fifth less time than with full debug information.
configure() { # dir build-type target extra-args...
  local dir=$1 type=$2 target=$3; shift 3
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DTAGSINK_LINE_TABLES_ONLY=ON "${ccache_launcher[@]}" "$@" \
    >/dev/null &&
    cmake --build "$dir" -j "$jobs" --target "$target"
}

status=0
failed=() # what failed, named again at the end, where a CI log's tail shows it
table=()  # each step, its result and its time
# Runs a step and notes its result and time; a failed step is named again at the end.
step() { # name command...
  local name=$1 start=$SECONDS rc=0
  shift
  echo "== $name"
  why=${hint:-} # a command may set a better one
  "$@" || rc=$?
  table+=("$(printf '  %-34s %-4s %5d s' "$name" "$([ $rc = 0 ] && echo ok || echo FAIL)" $((SECONDS - start)))")
  if [ $rc != 0 ]; then
    failed+=("$name${why:+: $why}")
    status=1
  fi
  return $rc
}
finish() {
  echo "== summary"
  printf '%s\n' "${table[@]}"
  if [ $status = 0 ]; then
    echo "all test stages passed"
  else
    echo "some test stage failed:" >&2
    printf '  %s\n' "${failed[@]}" >&2
  fi
  exit $status
}
# The tests ctest saw fail in a build folder, by name.
failed_tests() {
  local log=$1/Testing/Temporary/LastTestsFailed.log
  if [ -s "$log" ]; then cut -d: -f2- "$log" | paste -sd' '; else echo "see the log above"; fi
}
run_tests() { # build-dir ctest-arguments...
  local dir=$1
  shift
  (cd "$dir" && ctest --output-on-failure -j "$jobs" "$@") || { why=$(failed_tests "$dir"); return 1; }
}
build() { # dir build-type target extra-args...
  step "build $1/" configure "$@" || finish
}

# The layout of every C and C++ source is clang-format's (scripts/format.sh rewrites what differs).
hint="scripts/format.sh rewrites them" step "format" bash scripts/format.sh --check || true

build build RelWithDebInfo all -DTAGSINK_WITH_BENCH=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
# The naming rules (.clang-tidy) on the C/C++ files changed since TAGSINK_TIDY_BASE (.ci/run sets it to
# main): about 3 s of one core per file, so only what a change touches (scripts/tidy.sh --all: minutes).
if [ -n "${TAGSINK_TIDY_BASE:-}" ]; then
  step "naming (changes since $TAGSINK_TIDY_BASE)" bash scripts/tidy.sh --build build --changed "$TAGSINK_TIDY_BASE" || true
fi
step "tests of build/" run_tests build --timeout 300 || true

# Sanitizer builds use -O1 (set by the sanitizer options): quicker to build, still fast enough to test.
build build-asan Debug all -DTAGSINK_SANITIZE=ON -DTAGSINK_WITH_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 \
  step "tests of build-asan/" run_tests build-asan --timeout 600 || true

if [ "${TAGSINK_SKIP_TSAN:-0}" != 1 ]; then
  build build-tsan Debug tagsink_threaded_tests -DTAGSINK_TSAN=ON -DTAGSINK_WITH_BENCH=OFF -DTAGSINK_WITH_QT=OFF
  TSAN_OPTIONS=halt_on_error=1 step "tests of build-tsan/ (threaded)" run_tests build-tsan -L threaded --timeout 600 \
    --no-tests=ignore || true
fi

for extra in scripts/test.d/*.sh; do
  [ -e "$extra" ] || continue
  step "$extra" bash "$extra" || true
done
finish
