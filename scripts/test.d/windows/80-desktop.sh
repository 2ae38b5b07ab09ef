# desktop: the desktop program tagsink.exe (64-bit) and its QtTest programs, cross-built for Windows over
# the Qt that scripts/qt-windows.sh builds (or finds in its cache), run under wine64 against the COM test
# server registered as a local server with the server-list stand-in, and SQLite files through Wine's
# ODBC (the QtTest harness hands the driver the host's path of its files):
#   dialogs_test       the server browser lists the test server, the item browser browses it, the
#                      connection dialog and its builder list Windows ODBC drivers and test a connection
#   editors_test       the table and column pick lists from an SQLite database, items added by browsing
#   end_to_end_test    the program on a project: Run records rows, Debug shows the lines, Edit needs the
#                      password, Exit needs it too and stops with nothing left in "sql.dat"
#   operator_view_test the item list's live values, qualities and the health panel's counters
#   main_window_test   tree, list, modes, password, save and load, exit
#   log_view_test      the log view and its export
#   stop_test          stopping with thousands of statements waiting: nothing lost, the window responsive
# Then tagsink.exe --version from build-win64/bin, and a picture of the main window under Xvfb with the
# windows platform plugin (docs/images/main-windows.png, when TAGSINK_SCREENSHOTS_UPDATE=1).
# Wine hands no QT_* variable to Windows programs: the platform is chosen with -platform, and QtTest
# writes to a file (without a console it would write to the debugger only). TAGSINK_WINDOWS_DESKTOP=0
# leaves the stage out (docs/windows.md).
desktop_tests=(dialogs_test editors_test end_to_end_test operator_view_test main_window_test log_view_test stop_test)

# qttest_under_wine NAME: build-win64/bin/NAME.exe in the stage's folder (the files its tests leave
# there go with it), on the offscreen platform; its report is shown, and any failure, a crash or a
# timeout ends the stage naming the test functions that failed.
qttest_under_wine() {
  local t=$1 rc=0 report failed
  report=$work/$t.txt
  rm -f "$report"
  TAGSINK_WINE_TIMEOUT=600 wine_in "$work" "$bin/$t.exe" -platform offscreen -maxwarnings 50 \
    -o "$t.txt,txt" >"$work/$t.err" 2>&1 || rc=$?
  [ -f "$report" ] || { cat "$work/$t.err" >&2; fail "$t.exe wrote no report (exit $rc)"; }
  tr -d '\r' <"$report" | grep -Ev '^(QWARN|QDEBUG|QINFO|QCRITICAL) ' | grep -Ev '^(PASS|SKIP) ' || true
  [ $rc = 0 ] && return 0
  failed=$(tr -d '\r' <"$report" | sed -n 's/^FAIL! *: *\([^ ]*\)(.*/\1/p' | sort -u | tr '\n' ' ')
  if ! grep -q '^Totals:' "$report"; then
    grep -E 'unimplemented|Exception code|While testing' "$work/$t.err" >&2 || tail -20 "$work/$t.err" >&2
    fail "$t.exe ended without its totals (exit $rc: crashed or timed out) ${failed:+after failing $failed}"
  fi
  fail "$t.exe failed (exit $rc): ${failed:-see its report above}"
}

stage_desktop() {
  [ "${TAGSINK_WINDOWS_DESKTOP:-1}" = 1 ] || skip "the desktop program's stage is off (TAGSINK_WINDOWS_DESKTOP=0)"
  local qt t out
  step "Qt for Windows (scripts/qt-windows.sh: the cache, or a build of about 40 minutes)"
  qt=$(bash "$root/scripts/qt-windows.sh")
  step "tagsink.exe and its QtTest programs (build-win64, TAGSINK_QT_PREFIX=$qt)"
  cmake -S "$root/windows" -B "$root/build-win64" -DTAGSINK_QT_PREFIX="$qt" >/dev/null
  cmake --build "$root/build-win64" -j "$jobs" --target tagsink "${desktop_tests[@]}"
  needs tagsink.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll platforms/qoffscreen.dll
  need_wine
  register_com_test_server local

  for t in "${desktop_tests[@]}"; do
    step "$t.exe (offscreen)"
    qttest_under_wine "$t"
  done

  step "tagsink.exe --version"
  out=$(wine_in "$bin" tagsink.exe --version 2>&1 | tr -d '\r')
  grep -q '^tagsink (tagclient ' <<<"$out" || fail "tagsink.exe --version says: $out"

  if command -v xvfb-run >/dev/null; then
    step "the main window under Xvfb (windows platform plugin)"
    rm -rf "$work/shots" && mkdir -p "$work/shots"
    local shots rc=0
    shots=$(wine_in "$work" winepath -w "$work/shots" | tr -d '\r')
    (cd "$work" && TAGSINK_SCREENSHOTS=$shots timeout 300 xvfb-run -a -s "-screen 0 1280x800x24" \
      "$wine" "$bin/end_to_end_test.exe" RecordsInDebugModeAndReturnsToEdit -o shot.txt,txt >/dev/null 2>&1) || rc=$?
    if [ $rc != 0 ] || [ ! -s "$work/shots/main-debug.png" ]; then
      tr -d '\r' <"$work/shot.txt" 2>/dev/null | grep -E '^(FAIL|   |Totals)' >&2 || true
      fail "end_to_end_test.exe under Xvfb (exit $rc) saved no picture of the main window"
    fi
    if [ "${TAGSINK_SCREENSHOTS_UPDATE:-0}" = 1 ]; then
      cp "$work/shots/main-debug.png" "$root/docs/images/main-windows.png"
      echo "docs/images/main-windows.png updated"
    fi
  fi
}
