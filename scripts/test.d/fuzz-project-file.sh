#!/usr/bin/env bash
# Fuzzes the project file reader for a bounded time (TAGSINK_FUZZ_SECONDS, default 60) under
# AddressSanitizer, starting from the committed corpus. Builds in its own folder (build-fuzz/) with clang.
# Exits non-zero when the fuzzer finds a crash, a leak, a hang or a round-trip fault.
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${TAGSINK_FUZZ_BUILD:-build-fuzz}
seconds=${TAGSINK_FUZZ_SECONDS:-60}

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer" \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address" \
  -DTAGSINK_WITH_FUZZ=ON -DTAGSINK_WITH_QT=OFF -DTAGSINK_WITH_BENCH=OFF >/dev/null
cmake --build "$dir" -j2 --target fuzz_project_file

# The fuzzer adds what it finds to its first corpus folder: give it a scratch copy, keep the committed one.
work=$(mktemp -d /tmp/tagsink-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts"
cp fuzz/project_file/corpus/* "$work/corpus/"

if "$dir/bin/fuzz_project_file" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1; then
  grep -E '^stat::number_of_executed_units' "$work/log" | sed 's/^/fuzz-project-file: /' || true
  echo "fuzz-project-file: no fault in ${seconds} s"
else
  tail -n 60 "$work/log" >&2
  for f in "$work"/artifacts/*; do
    [ -e "$f" ] && { echo "reproducer: $(basename "$f")"; od -A x -t x1z "$f" | head -n 40; } >&2
  done
  mkdir -p "$dir/fuzz-artifacts" && cp "$work"/artifacts/* "$dir/fuzz-artifacts/" 2>/dev/null || true
  echo "fuzz-project-file: FAILED (reproducers kept in $dir/fuzz-artifacts)" >&2
  exit 1
fi
