# passes: every command succeeds.
stage_passes() {
  local n
  n=$(printf 'a\nb\n' | wc -l)
  [ "$n" = 2 ] || fail "wc counted $n lines"
  echo "passes: done"
}
