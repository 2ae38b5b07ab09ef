# service-unicode: the service's command line holds the project's path "C:\Anlage Süd\测试\plant.DAT"
# (outside the ANSI code page): installed (the install's check loads the project by that path), shown
# back by status, started (the service works in that folder and logs there), stopped cleanly,
# uninstalled. Uses the helpers of the service stage.
stage_service_unicode() {
  local name=TagsinkUnicodeTest out i
  local dir="$WINEPREFIX/drive_c/Anlage Süd/测试" win='C:\Anlage Süd\测试' db=$work/service-unicode.db
  needs tagsink-run.exe tagsink-make-sample.exe tagsink-project.exe
  command -v sqlite3 >/dev/null || fail "sqlite3 is missing (scripts/deps.sh installs it)"
  need_wine
  register_com_test_server local
  rm -rf "$dir" "$db" && mkdir -p "$dir" && cp "$bin/tagsink-run.exe" "$dir/"
  local run="$dir/tagsink-run.exe"
  sqlite3 "$db" <"$root/docs/samples/sample.sql"
  svc_project "$win"

  step "install with the project in \"$win\""
  out=$(wine_in "$WINEPREFIX/drive_c" "$run" service install "$name" "$win\\plant.DAT" --manual --log 2>&1 | tr -d '\r')
  echo "$out"
  grep -q "installed" <<<"$out" || fail "install says: $out"
  grep -qF "working folder: $win" <<<"$out" || fail "the install does not name the working folder $win"
  out=$(wine_in "$work" "$run" service status "$name" 2>&1 | tr -d '\r')
  grep -qF -e "--service-name $name \"$win\\plant.DAT\"" <<<"$out" ||
    fail "the stored command line does not read back with the project's path: $out"
  wine_in "$work" sc start "$name" >/dev/null
  for ((i = 0; i < 120 && $(svc_rows) <= 3; i++)); do sleep 0.5; done
  [ "$(svc_rows)" -gt 3 ] || { tail -n 20 "$dir/tagsink-run.log" >&2; fail "no rows arrive ($(svc_rows)); the service's log ends as above"; }
  out=$(wine_in "$work" "$run" service stop "$name" 2>&1 | tr -d '\r')
  grep -q 'stopped: exit status 0 (a clean stop)' <<<"$out" || fail "tagsink-run service stop says: $out"
  grep -q '^Stopping (service stop)' <(tr -d '\r' <"$dir/tagsink-run.log") ||
    fail "no \"Stopping (service stop)\" in tagsink-run.log in the folder"
  [ ! -e "$dir/sql.dat" ] || fail "sql.dat left in the folder after a clean stop"
  echo "service rows: $(svc_rows); state: $(svc_state)"
  wine_in "$work" "$run" service uninstall "$name"
}
