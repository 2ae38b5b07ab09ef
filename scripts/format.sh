#!/usr/bin/env bash
# Formats the tracked C and C++ sources with clang-format and the checked-in .clang-format.
#   bash scripts/format.sh            rewrites every file that differs
#   bash scripts/format.sh --check    changes nothing; lists the files that differ, exits 1 if any does
#   bash scripts/format.sh [--check] FILE...   only these files
# TAGSINK_CLANG_FORMAT names another clang-format binary.
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
if [ "${1:-}" = --check ]; then
  check=1
  shift
fi
case "${1:-}" in
  -h | --help)
    sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  -*)
    echo "format.sh: unknown option $1 (use --check)" >&2
    exit 2
    ;;
esac

clang_format=${TAGSINK_CLANG_FORMAT:-clang-format}
command -v "$clang_format" >/dev/null || {
  echo "format.sh: $clang_format is missing (scripts/deps.sh installs it)" >&2
  exit 2
}

files=()
if [ $# -gt 0 ]; then
  files=("$@")
else
  while IFS= read -r -d '' file; do
    files+=("$file")
  done < <(git ls-files -z -- '*.c' '*.cpp' '*.h' '*.hpp')
fi
[ ${#files[@]} -gt 0 ] || exit 0

if [ $check = 0 ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -n 50 "$clang_format" -i --style=file
  exit 0
fi

differ=0
for file in "${files[@]}"; do
  if ! "$clang_format" --style=file "$file" | cmp -s - "$file"; then
    echo "$file"
    differ=1
  fi
done
if [ $differ = 1 ]; then
  echo "format.sh: the files above differ from clang-format's layout; run bash scripts/format.sh" >&2
fi
exit $differ
