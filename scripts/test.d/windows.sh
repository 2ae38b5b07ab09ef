#!/usr/bin/env bash
# The Windows stage of the test script: cross-builds tagclient and the recorder for 32- and 64-bit
# Windows with mingw-w64 and tests them statically and under wine64. The stages are the files of
# scripts/test.d/windows/, run in the order of their names (NN-name.sh defines `stage_name`):
#
#   bash scripts/test.d/windows.sh                          every stage, in a fresh Wine prefix
#   bash scripts/test.d/windows.sh --list                   the stages, one a line
#   bash scripts/test.d/windows.sh --stage recorder         one stage against the build folders as they are
#   bash scripts/test.d/windows.sh --stage build --stage recorder --prefix /tmp/wp
#                                                           several; the Wine prefix kept in /tmp/wp
#
# Every stage runs in a shell of its own with `set -eEuo pipefail` and inherit_errexit: any command that
# fails ends the stage with the command and its line; `fail MESSAGE` ends it with a message. The stage
# after a failed one still runs (except after a failed build); the run ends with a table of the stages,
# their result and their time, and exits non-zero when any stage failed.
#
# Environment: TAGSINK_WINDOWS=0 skips everything; TAGSINK_JOBS (default nproc) the build's parallel
# jobs; TAGSINK_WINE64 and TAGSINK_WINESERVER the Wine programs; TAGSINK_WINE_GTEST_FILTER narrows the
# GoogleTest programs run under Wine. See docs/windows.md ("The Windows test stage") for adding a stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
# shellcheck source=scripts/ccache-env.sh
source scripts/ccache-env.sh
stage_dir=$root/scripts/test.d/windows
# The folder of the stages (its lib.sh is always the one above): another only for the runner's own test.
stages_from=${TAGSINK_WINDOWS_STAGE_DIR:-$stage_dir}

if [ "${TAGSINK_WINDOWS:-1}" = 0 ]; then
  echo "windows: skipped (TAGSINK_WINDOWS=0)"
  exit 0
fi

usage() {
  sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'
}

all_stages() {
  local f
  for f in "$stages_from"/[0-9][0-9]-*.sh; do
    f=${f##*/}
    f=${f#[0-9][0-9]-}
    echo "${f%.sh}"
  done
}

selected=()
keep_prefix=
while [ $# -gt 0 ]; do
  case $1 in
    --stage)
      [ $# -ge 2 ] || { echo "windows: --stage needs a name (--list shows them)" >&2; exit 2; }
      IFS=, read -r -a more <<<"$2"
      selected+=("${more[@]}")
      shift 2 ;;
    --stage=*) IFS=, read -r -a more <<<"${1#--stage=}"; selected+=("${more[@]}"); shift ;;
    --prefix)
      [ $# -ge 2 ] || { echo "windows: --prefix needs a folder" >&2; exit 2; }
      keep_prefix=$2
      shift 2 ;;
    --prefix=*) keep_prefix=${1#--prefix=}; shift ;;
    --list) all_stages; exit 0 ;;
    -h | --help) usage; exit 0 ;;
    *) echo "windows: unknown argument $1 (--help says what is known)" >&2; exit 2 ;;
  esac
done
known=$(all_stages)
if [ ${#selected[@]} = 0 ]; then
  mapfile -t selected <<<"$known"
else
  for s in "${selected[@]}"; do
    grep -qx -- "$s" <<<"$known" || { echo "windows: no stage \"$s\"; the stages are: $(echo $known)" >&2; exit 2; }
  done
  # In the order of the files, whatever the order of the arguments.
  mapfile -t selected < <(grep -Fx -f <(printf '%s\n' "${selected[@]}") <<<"$known")
fi

for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-widl \
            x86_64-w64-mingw32-widl i686-w64-mingw32-objdump i686-w64-mingw32-nm x86_64-w64-mingw32-nm; do
  command -v "$tool" >/dev/null || { echo "windows: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done

# ------------------------------------------------------------------ what every stage gets, defined once
export TAGSINK_ROOT=$root
jobs=${TAGSINK_JOBS:-$(nproc)}
wine=${TAGSINK_WINE64:-/usr/lib/wine/wine64}
wineserver=${TAGSINK_WINESERVER:-/usr/lib/wine/wineserver}
bin=$root/build-win64/bin
tz=Asia/Tokyo # the time zone the recorder's clock follows under Wine (checked against the time column)

work=$(mktemp -d /tmp/tagsink-windows.XXXXXX)
# The host's unixODBC drivers, which Wine's odbc32 reaches (registered in an odbcinst.ini of our own).
odbc=$work/odbc
mkdir -p "$odbc"
(export TAGSINK_ODBC_DIR=$odbc; source "$root/scripts/test-env.sh")

# The Wine session: a prefix of the run's own unless --prefix names one to keep (and to reuse: a stage
# run alone against it finds the registrations the earlier stages made).
if [ -n "$keep_prefix" ]; then
  mkdir -p "$keep_prefix"
  WINEPREFIX=$(cd "$keep_prefix" && pwd)
else
  WINEPREFIX=$work/prefix
fi
# LANG: Wine reads the host's file names as UTF-8 whatever the environment the stage runs in. ODBC*:
# the drivers above. TZ: see above. A service started by Wine's service manager inherits all of it.
export WINEPREFIX WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 \
  ODBCSYSINI=$odbc ODBCINSTINI=odbcinst.ini ODBCINI=$odbc/odbc.ini TZ=$tz

status=0
cleanup() {
  [ -x "$wineserver" ] && "$wineserver" -k >/dev/null 2>&1 || true
  if [ $status != 0 ] && [ -z "${TAGSINK_WINDOWS_CLEAN:-}" ]; then
    echo "windows: the stages' files are kept in $work" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# shellcheck source=scripts/test.d/windows/lib.sh
source "$stage_dir/lib.sh"
for s in "${selected[@]}"; do
  # shellcheck source=/dev/null
  source "$(ls "$stages_from"/[0-9][0-9]-"$s".sh)"
done

# ------------------------------------------------------------------------------------------- runner
results=()
for s in "${selected[@]}"; do
  echo "== windows: stage $s"
  started=$SECONDS
  set +e
  (
    set -eEuo pipefail
    shopt -s inherit_errexit
    STAGE=$s
    level=$BASH_SUBSHELL # the report once, from the stage's shell, not from each $(...) inside it
    trap 'rc=$? line=$LINENO; [ "$BASH_SUBSHELL" != "$level" ] || echo "windows: FAIL: $STAGE: \"$BASH_COMMAND\" failed (exit $rc) at ${BASH_SOURCE[0]#$root/}:$line" >&2' ERR
    "stage_${s//-/_}"
  )
  rc=$?
  set -e
  took=$((SECONDS - started))
  if [ $rc = 0 ]; then
    results+=("$(printf '%-18s ok      %4d s' "$s" "$took")")
  else
    status=1
    results+=("$(printf '%-18s FAILED  %4d s' "$s" "$took")")
    if [ "$s" = build ]; then
      echo "windows: the build failed; the stages after it are not run" >&2
      break
    fi
  fi
done

echo "== windows: summary"
printf '  %s\n' "${results[@]}"
if [ $status = 0 ]; then echo "windows: all checks passed"; else echo "windows: some stage failed" >&2; fi
exit $status
