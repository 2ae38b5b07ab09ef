# recorder-unicode: the recorder in folders with non-ASCII names. A plant folder "Anlage Süd/测试"
# (Latin-1 and CJK: the second is outside the ANSI code page of Wine's default locale, 1252) holds the
# project text, the CSV, the project file, the log file, the journal and the database. The programs get
# full paths with these characters on their command lines (Z:\...):
#   (a) tagsink-project.exe builds the project there; tagsink-run.exe records for 6 s into the SQLite
#       file there, with --log-file there; rows arrive;
#   (b) with the database's folder missing, "sql.dat" is kept there, tagsink-buffer.exe --dir reads it,
#       and the next run replays it, every statement once;
#   (c) a table and fields with Latin-1 and CJK names in a database there get their rows, and the
#       driver's message on a missing table of such a name comes back readable in the log;
#   (d) the same through the wide ODBC calls (TAGSINK_ODBC_TEXT=wide), with ASCII names.
# Under Wine the recorder keeps the narrow ODBC calls (Wine's odbc32 hands text to the host's unixODBC,
# whose SQLite3 driver reads UTF-8); the wide calls are checked with ASCII names, as unixODBC cuts wide
# text to one byte a unit for a driver without wide entry points.

# The project of (c) and (d): database, table.
names_text() {
  cat <<TEXT
{"tagsink-project":2}

[TServer Manager]
OPCString = "/Tagsink.SimServer.DA2/"
DBString = "Driver={SQLite3};Database=$1;Timeout=5000;"

[TGroup Messung]
TableName = "$2"
TimeField = "Zeit_ä"
RecordInterval = 500
UpdateRate = 250

[TItem Messung.Sine]
FieldName = "温度"
FieldType = ftFloat
ItemName = "Sine.Real8"

[TItem Messung.Word]
FieldName = "Bemerkung_Süd"
FieldType = ftString
ItemName = "Text.Words"
TEXT
}
ascii_names() { sed 's/"Zeit_ä"/"DT"/; s/"温度"/"Sine"/; s/"Bemerkung_Süd"/"Word"/'; }

stage_recorder_unicode() {
  local w=$work/recorder-unicode dir wdir rows out kept left queued listing
  needs tagsink-run.exe tagsink-project.exe tagsink-buffer.exe
  command -v sqlite3 >/dev/null || fail "sqlite3 is missing (scripts/deps.sh installs it)"
  need_wine
  dir="$w/Anlage Süd/测试"
  wdir="Z:$(printf '%s' "$dir" | tr / '\\')" # the same folder as Windows programs name it
  rm -rf "$w" && mkdir -p "$dir"
  register_com_test_server local
  echo "ANSI code page of the prefix: $(wine_in "$w" reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP |
    tr -d '\r' | sed -n 's/.*REG_SZ *//p')"

  step "project, log and database in \"$dir\""
  snapshot_project_text "$dir/rec.db" >"$dir/project.txt"
  printf '%s\r\n' 'group;item name;OPC item ID;field name;field type;key' \
    'Snapshot;Ramp;Ramp.Int4;Ramp;ftInteger;' >"$dir/items.csv"
  wine_in "$w" tagsink-project.exe import "$wdir\\project.txt" "$wdir\\plant.DAT" --items "$wdir\\items.csv"
  [ -s "$dir/plant.DAT" ] || fail "tagsink-project.exe wrote no plant.DAT in the folder"
  out=$(find "$w" -name '*.DAT' ! -path "$dir/plant.DAT")
  [ -z "$out" ] || fail "tagsink-project.exe wrote a project file elsewhere: $out"
  out=$(wine_in "$w" tagsink-project.exe export "$wdir\\plant.DAT" | tr -d '\r')
  grep -q '^ItemName = "Ramp.Int4"' <<<"$out" || fail "tagsink-project.exe export of the project in the folder"
  sqlite3 "$dir/rec.db" <"$root/docs/samples/sample.sql"
  wine_in "$dir" tagsink-run.exe "$wdir\\plant.DAT" --seconds 6 --log --log-file "$wdir\\run.log" ||
    { tail -n 20 "$dir/run.log" >&2; fail "tagsink-run.exe failed"; }
  [ -s "$dir/run.log" ] || fail "no log file run.log in the folder"
  rows=$(sqlite3 "$dir/rec.db" "select count(*) from Readings")
  echo "Readings in the folder's database: $rows rows; $(tr -d '\r' <"$dir/run.log" | tail -n 1)"
  [ "$rows" -ge 6 ] || fail "only $rows rows in 6 s at a 500 ms record interval (at least 6 expected)"
  [ "$(sqlite3 "$dir/rec.db" "select count(*) from Readings where Sine is null or typeof(Ramp) <> 'integer'")" = 0 ] ||
    fail "rows without values"
  # A project that does not exist: the message names the path as given, in UTF-8.
  out=$(wine_in "$w" tagsink-run.exe "$wdir\\missing.DAT" 2>&1 | tr -d '\r') && fail "tagsink-run.exe ran a missing project"
  grep -qF "$wdir\\missing.DAT" <<<"$out" || fail "the message on a missing project does not name it: $out"

  step "database folder missing, journal in \"$dir\""
  snapshot_project_text "$dir/later/rec.db" >"$dir/outage.txt"
  wine_in "$w" tagsink-project.exe import "$wdir\\outage.txt" "$wdir\\outage.DAT" --items "$wdir\\items.csv"
  wine_in "$dir" tagsink-run.exe "$wdir\\outage.DAT" --seconds 6 2>"$w/run1.log" ||
    { tail -n 20 "$w/run1.log" >&2; fail "tagsink-run.exe failed while the database was unreachable"; }
  [ -s "$dir/sql.dat" ] || fail "no sql.dat kept in the folder while the database was unreachable"
  kept=$(journal_count "$w" tagsink-buffer.exe count --dir "$wdir")
  listing=$(wine_in "$w" tagsink-buffer.exe count --dir "$wdir" | tr -d '\r')
  echo "$listing"
  grep -qF "$wdir\\sql.dat: " <<<"$listing" || fail "tagsink-buffer.exe does not name the journal in the folder: $listing"
  [ "${kept:-0}" -ge 6 ] || fail "tagsink-buffer.exe counts ${kept:-no} statements in the folder's sql.dat (at least 6 expected)"
  out=$(wine_in "$w" tagsink-buffer.exe list --dir "$wdir" | tr -d '\r' | grep -ci 'insert into' || true)
  [ "$out" = "$kept" ] || fail "tagsink-buffer.exe list shows $out of the $kept statements of the folder's sql.dat"
  mkdir -p "$dir/later"
  sqlite3 "$dir/later/rec.db" <"$root/docs/samples/sample.sql"
  wine_in "$dir" tagsink-run.exe "$wdir\\outage.DAT" --seconds 4 2>"$w/run2.log" ||
    { tail -n 20 "$w/run2.log" >&2; fail "tagsink-run.exe failed after the database came back"; }
  rows=$(sqlite3 "$dir/later/rec.db" "select count(*) from Readings")
  left=$(journal_count "$w" tagsink-buffer.exe count --dir "$wdir")
  queued=$(tr -d '\r' <"$w/run2.log" | sed -n 's/^queued \([0-9]*\) .*/\1/p' | tail -n 1)
  echo "after the second run: $rows rows (kept $kept + queued ${queued:-?}), ${left:-?} statements left in sql.dat"
  [ "$rows" = "$((kept + ${queued:-0}))" ] ||
    fail "$rows rows after the replay, $kept kept and ${queued:-?} new statements: some were lost or written twice"
  [ "${left:-1}" = 0 ] || fail "${left:-?} statements are still waiting in the folder's sql.dat after the replay"

  step "table \"Messwerte_Süd_测试\" with fields \"温度\", \"Bemerkung_Süd\" in \"$dir/names.db\""
  names_text "$dir/names.db" "Messwerte_Süd_测试" >"$dir/names.txt"
  sqlite3 "$dir/names.db" 'create table "Messwerte_Süd_测试" ("Zeit_ä" text, "温度" real, "Bemerkung_Süd" text)'
  wine_in "$w" tagsink-project.exe import "$wdir\\names.txt" "$wdir\\names.DAT"
  wine_in "$dir" tagsink-run.exe "$wdir\\names.DAT" --seconds 4 2>"$w/names.log" ||
    { tail -n 20 "$w/names.log" >&2; fail "tagsink-run.exe failed (non-ASCII names)"; }
  rows=$(sqlite3 "$dir/names.db" 'select count(*) from "Messwerte_Süd_测试" where "温度" is not null and
         length("Bemerkung_Süd") > 0 and length("Zeit_ä") >= 19')
  echo "Messwerte_Süd_测试: $rows rows with every field; $(tr -d '\r' <"$w/names.log" | tail -n 1)"
  [ "$rows" -ge 4 ] || fail "only $rows complete rows in the table with non-ASCII names (at least 4 expected)"
  # The table missing: the driver's message names it readably, in UTF-8.
  names_text "$dir/names.db" "Fehlt_Süd_测试" >"$dir/missing.txt"
  wine_in "$w" tagsink-project.exe import "$wdir\\missing.txt" "$wdir\\missing.DAT"
  wine_in "$dir" tagsink-run.exe "$wdir\\missing.DAT" --seconds 3 --log --log-file "$wdir\\missing.log" >/dev/null 2>&1 || true
  grep -qF 'no such table: Fehlt_Süd_测试' "$dir/missing.log" ||
    fail "the driver's message on the missing table does not name it: $(grep -m1 -i 'table' "$dir/missing.log" || true)"
  echo "missing table: no such table: Fehlt_Süd_测试"

  step "the wide ODBC calls (TAGSINK_ODBC_TEXT=wide), ASCII names"
  mkdir -p "$w/wide"
  names_text "$w/wide/wide.db" "Readings_wide" | ascii_names >"$w/wide/wide.txt"
  sqlite3 "$w/wide/wide.db" 'create table Readings_wide (DT text, Sine real, Word text)'
  wine_in "$w/wide" tagsink-project.exe import wide.txt wide.DAT
  TAGSINK_ODBC_TEXT=wide wine_in "$w/wide" tagsink-run.exe wide.DAT --seconds 4 2>"$w/wide/run.log" ||
    { tail -n 20 "$w/wide/run.log" >&2; fail "tagsink-run.exe failed (wide calls)"; }
  rows=$(sqlite3 "$w/wide/wide.db" "select count(*) from Readings_wide where Sine is not null and Word <> ''")
  echo "Readings_wide (wide calls): $rows rows"
  [ "$rows" -ge 4 ] || fail "only $rows rows through the wide calls (at least 4 expected)"
  names_text "$w/wide/wide.db" "Missing_wide" | ascii_names >"$w/wide/missing.txt"
  wine_in "$w/wide" tagsink-project.exe import missing.txt missing.DAT
  TAGSINK_ODBC_TEXT=wide wine_in "$w/wide" tagsink-run.exe missing.DAT --seconds 3 --log --log-file missing.log \
    >/dev/null 2>&1 || true
  grep -qF 'no such table: Missing_wide' "$w/wide/missing.log" ||
    fail "the driver's message through SQLGetDiagRecW does not name the missing table: $(grep -m1 -i 'table' "$w/wide/missing.log" || true)"
}
