# after: a stage after failed ones still runs, in a shell of its own (the failed stages' variables and
# exits do not reach it).
stage_after() {
  [ -z "${rows:-}" ] || fail "a variable of an earlier stage leaked: $rows"
  echo "after: done"
}
