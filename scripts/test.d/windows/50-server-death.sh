# server-death: the local server killed while the client only dispatches events, between two calls and
# inside a call (the test server's slow-call hook, Control.FailNext "Read=slow:MS"): the client lives,
# its exports fail with reports ("OLE error 800706BA: " and the system's text), and a new connection in
# the SAME Wine session (one wineserver for all three cases, COM starting the server anew each time)
# reads, writes and receives data changes again. The program's own assertions check this; it prints
# what happened, kept in build-win64/server_death.log.
stage_server_death() {
  local log=$root/build-win64/server_death.log rc=0
  needs toolkit_server_death_tests.exe
  need_wine
  register_com_test_server local
  TAGSINK_WINE_TIMEOUT=300 wine_in "$bin" toolkit_server_death_tests.exe --gtest_brief=1 >"$log" 2>&1 || rc=$?
  grep -E '^\((killed|attempt|connected|the call)' "$log" | cut -c1-160 || true
  tail -2 "$log"
  [ $rc = 0 ] || fail "toolkit_server_death_tests.exe exited with $rc (see ${log#$root/})"
  if grep -q 'SKIPPED' "$log"; then fail "cases were skipped (is opcsim.exe the local server?)"; fi
}
