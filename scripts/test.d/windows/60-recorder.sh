# recorder: tagsink-run.exe, tagsink-project.exe and tagsink-buffer.exe (64-bit) against the COM test
# server as a local server, writing through Wine's ODBC into the host's unixODBC SQLite3 driver:
#   (a) a project made by tagsink-project.exe from project text, byte-identical to the Linux tool's
#       (build/bin/tagsink-project, when built), and its items added from CSV; records for 10 s; rows
#       counted and checked (values, local time in the TZ given to Wine);
#   (b) the database unreachable (its folder missing) for a run: "sql.dat" is kept in the working
#       directory, and the next run with the database back replays it: build/bin/recorder-outcome checks
#       from a copy of the kept journal that every kept statement arrived once, first, in order;
#   (c) Ctrl+C (SIGINT, which Wine delivers as the console's CTRL_C_EVENT) stops a run cleanly.
stage_recorder() {
  local w=$work/recorder linux_project=$root/build/bin/tagsink-project outcome=$root/build/bin/recorder-outcome
  needs tagsink-run.exe tagsink-project.exe tagsink-buffer.exe
  [ -x "$outcome" ] || fail "$outcome is not built (cmake --build build --target recorder-outcome)"
  command -v sqlite3 >/dev/null || fail "sqlite3 is missing (scripts/deps.sh installs it)"
  need_wine
  register_com_test_server local
  rm -rf "$w" && mkdir -p "$w/a" "$w/b"

  step "project file from text and CSV (tagsink-project.exe)"
  snapshot_project_text "$w/a/rec.db" >"$w/a/project.txt"
  printf '%s\r\n' 'group;item name;OPC item ID;field name;field type;key' \
    'Snapshot;Ramp;Ramp.Int4;Ramp;ftInteger;' 'Snapshot;Word;Text.Words;Word;ftString;' \
    'Snapshot;Flag;Toggle.Boolean;Flag;ftBoolean;' >"$w/a/items.csv"
  wine_in "$w/a" tagsink-project.exe import project.txt win.DAT --items items.csv
  [ -s "$w/a/win.DAT" ] || fail "tagsink-project.exe wrote no win.DAT"
  if [ -x "$linux_project" ]; then
    (cd "$w/a" && "$linux_project" import project.txt linux.DAT --items items.csv)
    cmp "$w/a/win.DAT" "$w/a/linux.DAT" || fail "the .DAT of tagsink-project.exe and of the Linux tool differ"
    # And back: both read either file to the same text (Windows ends its lines with CR LF on a console).
    wine_in "$w/a" tagsink-project.exe export linux.DAT | tr -d '\r' >"$w/a/win-export.txt"
    "$linux_project" export "$w/a/win.DAT" >"$w/a/linux-export.txt"
    cmp "$w/a/win-export.txt" "$w/a/linux-export.txt" || fail "the project texts of the two tools differ"
    grep -q '^ItemName = "Toggle.Boolean"' "$w/a/win-export.txt" || fail "the CSV's items are not in the project"
    echo "win.DAT and linux.DAT: $(stat -c %s "$w/a/win.DAT") bytes each, identical"
  else
    echo "windows: SKIPPED the comparison with the Linux tool: $linux_project is not built"
  fi

  step "tagsink-run.exe records the COM test server (local server) for 10 s, TZ=$TZ"
  sqlite3 "$w/a/rec.db" <"$root/docs/samples/sample.sql"
  local started ended rows bad first last
  started=$(date +%s)
  wine_in "$w/a" tagsink-run.exe win.DAT --seconds 10 --log 2>"$w/a/run.log" ||
    { tail -n 20 "$w/a/run.log" >&2; fail "tagsink-run.exe failed"; }
  ended=$(date +%s)
  rows=$(sqlite3 "$w/a/rec.db" "select count(*) from Readings")
  bad=$(sqlite3 "$w/a/rec.db" "select count(*) from Readings where Sine is null or Sine < -100.0001 or
        Sine > 100.0001 or typeof(Ramp) <> 'integer' or Word is null or Word = '' or Flag not in ('0','1')")
  echo "Readings: $rows rows, $bad implausible; $(tail -n 1 "$w/a/run.log")"
  [ "$rows" -ge 12 ] || fail "only $rows rows in 10 s at a 500 ms record interval (at least 12 expected)"
  [ "$bad" = 0 ] || fail "$bad rows hold implausible values"
  [ "$(sqlite3 "$w/a/rec.db" "select count(distinct Ramp) from Readings")" -ge 5 ] ||
    fail "the values do not change from row to row"
  # The time column is local time in the recorder's time zone: between the start and the end of the run.
  first=$(date -d "$(sqlite3 "$w/a/rec.db" "select min(DT) from Readings")" +%s)
  last=$(date -d "$(sqlite3 "$w/a/rec.db" "select max(DT) from Readings")" +%s)
  echo "time column: $(sqlite3 "$w/a/rec.db" "select min(DT) || ' .. ' || max(DT) from Readings") ($TZ)," \
       "run from $(date -d "@$started" '+%F %T') to $(date -d "@$ended" '+%F %T')"
  if [ "$first" -lt $((started - 2)) ] || [ "$last" -gt $((ended + 2)) ] || [ "$last" -lt "$first" ]; then
    fail "the time column is not the local time of $TZ during the run"
  fi

  step "database unreachable for a run, then back"
  sed "s|Database=$w/a/rec.db|Database=$w/b/later/rec.db|" "$w/a/project.txt" >"$w/b/project.txt"
  wine_in "$w/b" tagsink-project.exe import project.txt outage.DAT --items "$w/a/items.csv"
  wine_in "$w/b" tagsink-run.exe outage.DAT --seconds 6 2>"$w/b/run1.log" ||
    { tail -n 20 "$w/b/run1.log" >&2; fail "tagsink-run.exe failed while the database was unreachable"; }
  [ -s "$w/b/sql.dat" ] || fail "no sql.dat kept in the working directory while the database was unreachable"
  local kept left
  kept=$(journal_count "$w/b" tagsink-buffer.exe count)
  echo "kept in sql.dat: ${kept:-?} statements; $(tail -n 1 "$w/b/run1.log")"
  [ "${kept:-0}" -ge 6 ] || fail "tagsink-buffer.exe counts ${kept:-no} statements in sql.dat (at least 6 expected)"
  cp "$w/b/sql.dat" "$w/b/kept.dat" && cp "$w/b/sql.dat.progress" "$w/b/kept.dat.progress"
  mkdir -p "$w/b/later"
  sqlite3 "$w/b/later/rec.db" <"$root/docs/samples/sample.sql"
  wine_in "$w/b" tagsink-run.exe outage.DAT --seconds 4 2>"$w/b/run2.log" ||
    { tail -n 20 "$w/b/run2.log" >&2; fail "tagsink-run.exe failed after the database came back"; }
  "$outcome" "$w/b/kept.dat" "$w/b/sql.dat" "$w/b/later/rec.db" Readings "$w/b/run2.log" ||
    fail "the replay after the outage did not deliver every kept statement once (see above)"

  step "Ctrl+C stops tagsink-run.exe cleanly"
  (cd "$w/b" && exec "$wine" "$bin/tagsink-run.exe" outage.DAT 2>"$w/b/run3.log") &
  local pid=$! waited=0 rc=0
  until grep -q 'OPC Connected | DB Connected' "$w/b/run3.log" 2>/dev/null || [ $waited -ge 60 ]; do
    sleep 1
    waited=$((waited + 1))
  done
  sleep 2
  kill -INT $pid 2>/dev/null || true
  waited=0
  while kill -0 $pid 2>/dev/null && [ $waited -lt 30 ]; do
    sleep 1
    waited=$((waited + 1))
  done
  if kill -0 $pid 2>/dev/null; then
    kill -KILL $pid 2>/dev/null || true
    fail "tagsink-run.exe did not stop within 30 s of Ctrl+C"
  fi
  wait $pid || rc=$?
  grep -q 'Stopping (interrupted)' "$w/b/run3.log" || fail "Ctrl+C did not stop tagsink-run.exe through its handler"
  [ $rc = 0 ] || fail "tagsink-run.exe exited with $rc after Ctrl+C"
  left=$(journal_count "$w/b" tagsink-buffer.exe count)
  echo "after Ctrl+C: exit $rc, ${left:-?} statements left in sql.dat; $(tr -d '\r' <"$w/b/run3.log" | tail -n 1)"
  [ "${left:-1}" = 0 ] || fail "${left:-?} statements are still waiting in sql.dat after Ctrl+C"
}
