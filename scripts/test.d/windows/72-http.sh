# http: tagsink-run.exe --http under wine64, asked from the Linux side with curl: /health answers 200 once
# both links are up, /metrics counts executed statements, /api/items lists the sample's items; then as a
# service: the event source is registered at install, the service's start and stop entries are written
# (Wine keeps no event log: it prints the entries on its "eventlog" debug channel, which the service
# inherits from the service manager started here), and the source is removed at uninstall.
# Ports: TAGSINK_WINE_HTTP_PORT and the one after it (default 56120).
stage_http() {
  local name=TagsinkHttpTest out code i pid port=${TAGSINK_WINE_HTTP_PORT:-56120}
  local dir="$WINEPREFIX/drive_c/tagsink http" win='C:\tagsink http' db=$work/http.db
  local key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\'$name
  needs tagsink-run.exe tagsink-make-sample.exe tagsink-project.exe
  command -v sqlite3 >/dev/null || fail "sqlite3 is missing (scripts/deps.sh installs it)"
  command -v curl >/dev/null || fail "curl is missing"
  need_wine
  register_com_test_server local
  rm -rf "$dir" "$db" && mkdir -p "$dir" && cp "$bin/tagsink-run.exe" "$dir/"
  sqlite3 "$db" <"$root/docs/samples/sample.sql"
  svc_project "$win"
  # health CODE: the status code of /health on PORT (000: no answer)
  health() { curl -s -o /dev/null -w '%{http_code}' -m 5 "http://127.0.0.1:$1/health" || true; }

  step "tagsink-run.exe --http 127.0.0.1:$port answers curl from Linux"
  (cd "$dir" && exec timeout 120 "$wine" tagsink-run.exe plant.DAT --seconds 60 --http "127.0.0.1:$port" \
    2>"$work/http-console.log") &
  pid=$!
  for ((i = 0; i < 120; i++)); do [ "$(health "$port")" = 200 ] && break; sleep 0.5; done
  code=$(health "$port")
  [ "$code" = 200 ] || { tail -n 20 "$work/http-console.log" >&2; fail "/health answers $code, not 200"; }
  curl -fsS -m 5 "http://127.0.0.1:$port/health"
  echo
  out=$(curl -fsS -m 5 "http://127.0.0.1:$port/metrics")
  grep -Eq '^tagsink_statements_executed_total [1-9]' <<<"$out" ||
    { for ((i = 0; i < 20; i++)); do sleep 0.5; out=$(curl -fsS -m 5 "http://127.0.0.1:$port/metrics");
        grep -Eq '^tagsink_statements_executed_total [1-9]' <<<"$out" && break; done; }
  grep -Eq '^tagsink_statements_executed_total [1-9]' <<<"$out" || fail "/metrics counts no executed statement"
  grep -q '^tagsink_link_up{link="opc"} 1$' <<<"$out" || fail "/metrics: the OPC link is not up"
  grep -q '^# TYPE tagsink_statements_executed_total counter$' <<<"$out" || fail "/metrics has no TYPE lines"
  out=$(curl -fsS -m 5 "http://127.0.0.1:$port/api/items")
  grep -q '"item_id":"Sine.Real8"' <<<"$out" || fail "/api/items lists no Sine.Real8: ${out:0:300}"
  code=$(curl -s -o /dev/null -w '%{http_code}' -m 5 -X POST "http://127.0.0.1:$port/api/items" || true)
  [ "$code" = 405 ] || fail "POST /api/items answers $code, not 405"
  kill -INT "$pid" 2>/dev/null || true
  wait "$pid" || true
  tr -d '\r' <"$work/http-console.log" | grep -q "serving status at http://127.0.0.1:$port/" ||
    fail "the console log does not say where it serves"

  step "as a service: the event source, the start and stop entries"
  # A service manager of our own whose services print the event log's entries (debug channel "eventlog").
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w
  # (a service left by an earlier run that failed, in a kept prefix)
  wine_in "$dir" "$dir/tagsink-run.exe" service uninstall "$name" >/dev/null 2>&1 || true
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w
  WINEDEBUG=-all,+eventlog wine_in "$dir" "$dir/tagsink-run.exe" service install "$name" "$win\\plant.DAT" \
    --manual --http "127.0.0.1:$((port + 1))" >"$work/http-install.txt" 2>"$work/http-events.log" || true
  grep -q "installed" "$work/http-install.txt" ||
    fail "install says: $(cat "$work/http-install.txt") $(tr -d '\r' <"$work/http-events.log" | grep -v eventlog)"
  grep -q 'source "'"$name"'"' "$work/http-install.txt" || fail "install does not name the event source"
  out=$(wine_in "$work" reg query "$key" /v EventMessageFile 2>&1 | tr -d '\r') ||
    fail "no event source after install: $out"
  grep -qi 'tagsink-run.exe' <<<"$out" || fail "the event source's message file is not tagsink-run.exe: $out"
  wine_in "$work" sc start "$name" >/dev/null
  svc_wait_state RUNNING 60 || fail "not running after sc start (state: $(svc_state))"
  for ((i = 0; i < 120; i++)); do [ "$(health $((port + 1)))" = 200 ] && break; sleep 0.5; done
  [ "$(health $((port + 1)))" = 200 ] || fail "the service's /health answers $(health $((port + 1)))"
  wine_in "$work" net stop "$name" >/dev/null
  svc_wait_state STOPPED 30 || fail "not stopped after net stop (state: $(svc_state))"
  wine_in "$work" "$dir/tagsink-run.exe" service uninstall "$name"
  "$wineserver" -w
  out=$(tr -d '\r' <"$work/http-events.log" | grep -i 'eventlog' || true)
  echo "$out" | grep -E 'started recording|stopped \(' | sed 's/^/  /'
  grep -q "The service \\\\\?\"$name\\\\\?\" started recording" <<<"$out" ||
    fail "no start entry among the event log's lines:$(printf '\n%s' "$out" | tail -n 10)"
  grep -q "stopped (service stop); exit status 0" <<<"$out" ||
    fail "no stop entry among the event log's lines:$(printf '\n%s' "$out" | tail -n 10)"
  out=$(wine_in "$work" reg query "$key" 2>&1) && fail "the event source is still registered after uninstall"
  true
}
