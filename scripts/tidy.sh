#!/usr/bin/env bash
# The naming rules of docs/contributing.md (.clang-tidy: readability-identifier-naming), checked with
# clang-tidy and the build's compile_commands.json on the C++ files you name or that a change touches:
#   bash scripts/tidy.sh FILE...               these files
#   bash scripts/tidy.sh --changed [BASE]      the C/C++ files changed since BASE (default: main), committed
#                                              or not (git diff BASE...HEAD, and the work tree against HEAD)
#   bash scripts/tidy.sh --all                 every C/C++ file of the build (slow: minutes)
# Options: --build DIR (default build, or TAGSINK_BUILD; configured with compile_commands.json, which
# this script switches on when it is missing), --fix (let clang-tidy rename; review the diff, then build).
# Exit status: 0 no finding, 1 findings, 2 a bad command line or no usable build folder.
# A source the build does not compile (the Windows-only files on Linux) is skipped with a note: check
# those against build-win64 (docs/contributing.md says how). A header is checked with the flags of the
# sources beside it; one that does not compile that way is skipped with a note as well.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TAGSINK_BUILD:-build}
mode=files
base=main
fix=()
files=()
usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; }
while [ $# -gt 0 ]; do
  case $1 in
    --changed)
      mode=changed
      if [ $# -gt 1 ] && [[ $2 != -* ]]; then base=$2; shift; fi ;;
    --all) mode=all ;;
    --build) build=${2:?--build needs a folder}; shift ;;
    --fix) fix=(--fix) ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "tidy.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) files+=("$1") ;;
  esac
  shift
done

tidy=$(command -v clang-tidy || command -v clang-tidy-14 || true)
if [ -z "$tidy" ]; then
  echo "tidy.sh: clang-tidy is not installed (apt-get install clang-tidy; scripts/deps.sh installs it)" >&2
  exit 2
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "tidy.sh: $build/ is not a configured build folder (--build DIR, or configure build/ first)" >&2
  exit 2
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy.sh: switching on compile_commands.json in $build/"
  cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
fi

is_cxx() { [[ $1 =~ \.(cpp|hpp|c|h)$ ]]; }
case $mode in
  changed)
    if ! git rev-parse --verify -q "$base^{commit}" >/dev/null; then
      echo "tidy.sh: $base is not a commit" >&2; exit 2
    fi
    mapfile -t files < <({ git diff --name-only --diff-filter=d "$base...HEAD"
                           git diff --name-only --diff-filter=d HEAD; } | sort -u) ;;
  all)
    mapfile -t files < <(python3 -c '
import json, os, sys
root = os.getcwd()
for entry in json.load(open(sys.argv[1])):
    path = os.path.relpath(os.path.join(entry["directory"], entry["file"]), root)
    if not path.startswith(".."):
        print(path)' "$build/compile_commands.json" | grep -v '^build' | sort -u) ;;
esac

# The sources the build compiles, relative to the checkout.
compiled=$(python3 -c '
import json, os, sys
for entry in json.load(open(sys.argv[1])):
    print(os.path.relpath(os.path.join(entry["directory"], entry["file"]), os.getcwd()))' \
  "$build/compile_commands.json" | sort -u)

checked=() skipped=0
for file in "${files[@]}"; do
  is_cxx "$file" || continue
  [ -f "$file" ] || { echo "tidy.sh: $file: no such file" >&2; exit 2; }
  case $file in build*/*|*/generated/*) continue ;; esac
  if [[ $file =~ \.(cpp|c)$ ]] && ! grep -qxF "$file" <<<"$compiled"; then
    echo "tidy.sh: skipped $file (not compiled in $build/: Windows-only, or not part of this build)"
    skipped=$((skipped + 1))
    continue
  fi
  checked+=("$file")
done
if [ ${#checked[@]} = 0 ]; then
  echo "tidy.sh: no C/C++ file to check ($skipped skipped)"
  exit 0
fi

echo "tidy.sh: checking ${#checked[@]} file(s) against $build/compile_commands.json"
status=0
start=$SECONDS
for file in "${checked[@]}"; do
  out=$("$tidy" -p "$build" --quiet "${fix[@]}" "$file" 2>&1) || true
  if grep -q 'error: .*\[clang-diagnostic-error\]' <<<"$out"; then
    if [[ $file =~ \.(hpp|h)$ ]]; then
      echo "tidy.sh: skipped $file (does not compile on its own with the flags of its neighbours)"
      skipped=$((skipped + 1))
      continue
    fi
    echo "$out" | grep -v '^[0-9]* warnings\? generated' >&2
    echo "tidy.sh: $file does not compile with $build/'s flags" >&2
    status=1
    continue
  fi
  findings=$(grep -c 'warning: .*\[readability-identifier-naming\]' <<<"$out" || true)
  if [ "$findings" != 0 ]; then
    echo "$out" | grep -v '^[0-9]* warnings\? generated\|^Suppressed\|^Use -header-filter'
    status=1
  fi
done
echo "tidy.sh: ${#checked[@]} file(s) checked in $((SECONDS - start)) s, $skipped skipped:" \
  "$([ $status = 0 ] && echo 'no finding' || echo 'findings above')"
exit $status
