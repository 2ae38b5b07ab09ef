#!/usr/bin/env bash
# Fuzzes the project file reader (TAGSINK_FUZZ_SECONDS, default 60) and then the project text and item
# CSV readers of tagsink-project (half that time) under AddressSanitizer, each from its committed corpus.
# Builds in its own folder (build-fuzz/) with clang. Exits non-zero when a fuzzer finds a crash, a leak,
# a hang or a round-trip fault.
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${TAGSINK_FUZZ_BUILD:-build-fuzz}
seconds=${TAGSINK_FUZZ_SECONDS:-60}

# shellcheck source=scripts/ccache-env.sh
source scripts/ccache-env.sh
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAGSINK_LINE_TABLES_ONLY=ON "${ccache_launcher[@]}" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer" \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address" \
  -DTAGSINK_WITH_FUZZ=ON -DTAGSINK_WITH_QT=OFF -DTAGSINK_WITH_BENCH=OFF >/dev/null
cmake --build "$dir" -j2 --target fuzz_project_file fuzz_project_text

work=$(mktemp -d /tmp/tagsink-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0

# run NAME CORPUS SECONDS: the fuzzer adds what it finds to its first corpus folder, so it gets a scratch
# copy and the committed corpus stays as it is.
run() {
  local name=$1 corpus=$2 time=$3
  mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
  cp "$corpus"/* "$work/$name/corpus/"
  if "$dir/bin/$name" -max_total_time="$time" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/$name/artifacts/" "$work/$name/corpus" >"$work/$name/log" 2>&1; then
    grep -E '^stat::number_of_executed_units' "$work/$name/log" | sed "s/^/$name: /" || true
    echo "$name: no fault in ${time} s"
  else
    tail -n 60 "$work/$name/log" >&2
    for f in "$work/$name"/artifacts/*; do
      [ -e "$f" ] && { echo "reproducer: $(basename "$f")"; od -A x -t x1z "$f" | head -n 40; } >&2
    done
    mkdir -p "$dir/fuzz-artifacts" && cp "$work/$name"/artifacts/* "$dir/fuzz-artifacts/" 2>/dev/null || true
    echo "$name: FAILED (reproducers kept in $dir/fuzz-artifacts)" >&2
    status=1
  fi
}

run fuzz_project_file fuzz/project_file/corpus "$seconds"
run fuzz_project_text fuzz/project_text/corpus "$(( (seconds + 1) / 2 ))"
exit $status
