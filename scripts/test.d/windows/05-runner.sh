# runner: the stage runner itself, on the stages of tests/scripts/windows-runner/: a failing command
# nobody checks, one inside $(...) and a pipeline, and a fail() each end their stage as FAILED; passing
# and skipped stages pass; a stage after failed ones still runs in a shell of its own; --stage runs one
# stage alone; the run's exit status is 1. Takes about a second and needs neither a build nor Wine.
stage_runner() {
  local out rc=0 fixtures=$root/tests/scripts/windows-runner
  out=$(TAGSINK_WINDOWS_CLEAN=1 TAGSINK_WINDOWS_STAGE_DIR=$fixtures bash "$root/scripts/test.d/windows.sh" 2>&1) || rc=$?
  echo "$out" | sed 's/^/    /'
  [ $rc = 1 ] || fail "the run with failing stages exited with $rc, not 1"
  local s
  for s in passes after skips; do
    grep -Eq "^  $s +ok " <<<"$out" || fail "stage $s is not reported ok"
  done
  for s in unchecked substitution fails; do
    grep -Eq "^  $s +FAILED " <<<"$out" || fail "stage $s is not reported FAILED"
  done
  if grep -q 'NOT REACHED' <<<"$out"; then fail "a stage went on after a failing command"; fi
  grep -q '^windows: FAIL: unchecked: "false" failed (exit 1) at tests/scripts/windows-runner/20-unchecked.sh:4$' <<<"$out" ||
    fail "the failing command is not named with its file and line"
  grep -q '^windows: FAIL: fails: only 12 rows (at least 13 expected)$' <<<"$out" || fail "fail() does not report its message"
  grep -q '^windows: SKIPPED skips: no such tool here$' <<<"$out" || fail "skip() does not say why"

  rc=0
  out=$(TAGSINK_WINDOWS_CLEAN=1 TAGSINK_WINDOWS_STAGE_DIR=$fixtures bash "$root/scripts/test.d/windows.sh" --stage passes 2>&1) || rc=$?
  [ $rc = 0 ] || fail "--stage passes exited with $rc: $out"
  [ "$(grep -c '^== windows: stage ' <<<"$out")" = 1 ] || fail "--stage passes ran other stages: $out"
  rc=0
  out=$(TAGSINK_WINDOWS_CLEAN=1 TAGSINK_WINDOWS_STAGE_DIR=$fixtures bash "$root/scripts/test.d/windows.sh" --stage nonesuch 2>&1) || rc=$?
  [ $rc = 2 ] || fail "an unknown stage exited with $rc, not 2: $out"
}
