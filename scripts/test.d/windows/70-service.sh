# service: tagsink-run.exe installed as a Windows service for the sample project: the COM test server as
# a local server, an SQLite file through Wine's ODBC (the service manager's environment is the run's:
# the ODBC set-up of scripts/test.d/windows.sh). Started and stopped with sc, net and tagsink-run's own
# commands; checked: rows arrive, the stop is clean (log lines, exit code 0, nothing left in sql.dat,
# every executed statement a row), the log rotates, a project damaged while installed ends the service
# with exit code 1, and the uninstall.
stage_service() {
  local name=TagsinkServiceTest out f executed before
  local dir="$WINEPREFIX/drive_c/tagsink service" win='C:\tagsink service' db=$work/service.db
  needs tagsink-run.exe tagsink-make-sample.exe tagsink-project.exe
  command -v sqlite3 >/dev/null || fail "sqlite3 is missing (scripts/deps.sh installs it)"
  need_wine
  register_com_test_server local
  local run="$dir/tagsink-run.exe" # the program the service starts: the operator's copy beside the project
  rm -rf "$dir" "$db" && mkdir -p "$dir" && cp "$bin/tagsink-run.exe" "$dir/"
  sqlite3 "$db" <"$root/docs/samples/sample.sql"
  svc_logs() { cat "$dir"/tagsink-run.log.2 "$dir"/tagsink-run.log.1 "$dir"/tagsink-run.log 2>/dev/null | tr -d '\r'; }
  svc_project "$win"

  step "install"
  out=$(wine_in "$dir" "$run" service install "$name" "$win\\plant.DAT" --manual --log --log-size 1024 --log-files 2 2>&1 | tr -d '\r')
  echo "$out"
  grep -q "installed" <<<"$out" || fail "install says: $out"
  out=$(wine_in "$dir" "$run" service install "$name" "$win\\plant.DAT" 2>&1) && fail "a second install succeeded"
  grep -q "(error 1073)" <<<"$out" || fail "a second install does not say that the service exists: $out"
  out=$(wine_in "$dir" "$run" --service-name "$name" "$win\\plant.DAT" 2>&1) && fail "the service's command line ran in a console"
  grep -q "is for the service control manager" <<<"$out" || fail "console run of the service's command line: $out"

  step "sc start, rows, net stop"
  wine_in "$work" sc start "$name" >/dev/null
  svc_wait_state RUNNING 60 || fail "not running after sc start (state: $(svc_state))"
  svc_wait_rows 3 60 || { svc_logs | tail -n 20 >&2; fail "no rows arrive ($(svc_rows)); the service's log ends as above"; }
  sleep 5 # enough for the log to rotate more than twice at 1024 bytes
  wine_in "$work" net stop "$name"
  svc_wait_state STOPPED 30 || fail "not stopped after net stop (state: $(svc_state))"
  out=$(wine_in "$work" sc query "$name" | tr -d '\r')
  grep -Eq 'WIN32_EXIT_CODE *: *0 ' <<<"$out" || fail "exit code after net stop: $out"
  grep -q '^Stopping (service stop)$' <<<"$(svc_logs)" || fail "the log has no \"Stopping (service stop)\""
  [ ! -e "$dir/sql.dat" ] || fail "sql.dat left after a clean stop ($(wc -l <"$dir/sql.dat") lines)"
  executed=$(svc_logs | sed -n 's/^queued [0-9]*  executed \([0-9]*\) .*/\1/p' | tail -1)
  [ -n "$executed" ] && [ "$executed" = "$(svc_rows)" ] ||
    fail "the last progress line says ${executed:-nothing} executed, the database holds $(svc_rows) rows"
  [ -s "$dir/tagsink-run.log.1" ] && [ -s "$dir/tagsink-run.log.2" ] || fail "the log did not rotate at 1024 bytes"
  [ ! -e "$dir/tagsink-run.log.3" ] || fail "more rotated logs than --log-files 2"
  for f in "$dir"/tagsink-run.log*; do
    [ "$(stat -c %s "$f")" -le 1024 ] || fail "$(basename "$f") is larger than 1024 bytes"
    [ "$(tail -c 1 "$f" | od -An -c | tr -d ' ')" = '\n' ] || fail "$(basename "$f") ends inside a line"
  done

  step "net start, tagsink-run service stop"
  before=$(svc_rows)
  wine_in "$work" net start "$name"
  svc_wait_rows "$before" 60 || fail "no new rows after net start"
  out=$(wine_in "$work" "$run" service status "$name" 2>&1 | tr -d '\r')
  grep -q ': running, process' <<<"$out" || fail "status while running: $out"
  out=$(wine_in "$work" "$run" service stop "$name" 2>&1 | tr -d '\r') || fail "tagsink-run service stop: $out"
  grep -q 'stopped: exit status 0 (a clean stop)' <<<"$out" || fail "tagsink-run service stop says: $out"
  [ "$(grep -c '^Stopping (service stop)$' <<<"$(svc_logs)")" -ge 1 ] || fail "no stop line after the second run"

  step "a project damaged while installed"
  cp "$dir/plant.DAT" "$dir/plant.good"
  printf 'not a project' >"$dir/plant.DAT"
  out=$(wine_in "$work" "$run" service start "$name" 2>&1 | tr -d '\r') && fail "started with a damaged project"
  grep -q 'exit status 1' <<<"$out" || fail "start with a damaged project says: $out"
  out=$(wine_in "$work" sc query "$name" | tr -d '\r')
  grep -Eq 'SERVICE_EXIT_CODE *: *1 ' <<<"$out" || fail "service-specific exit code: $out"
  grep -q '^tagsink-run: .*plant.DAT: ' <<<"$(svc_logs)" || fail "the log does not say why the project was refused"
  cp "$dir/plant.good" "$dir/plant.DAT"

  step "uninstall"
  wine_in "$work" "$run" service uninstall "$name"
  out=$(wine_in "$work" "$run" service status "$name" 2>&1) && fail "status of an uninstalled service succeeded"
  grep -q '(error 1060)' <<<"$out" || fail "status after uninstall says: $out"
}
