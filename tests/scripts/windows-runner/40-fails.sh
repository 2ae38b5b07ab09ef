# fails: a check that does not hold ends the stage with its message.
stage_fails() {
  [ 12 -ge 13 ] || fail "only 12 rows (at least 13 expected)"
  echo "fails: NOT REACHED"
}
