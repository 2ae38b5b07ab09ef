# desktop: the desktop program tagsink.exe (64-bit) and its QtTest programs, cross-built for Windows over
# the Qt that scripts/qt-windows.sh builds (or finds in its cache), run under wine64 against the COM test
# server registered as a local server with the server-list stand-in, and SQLite files through Wine's
# ODBC (the QtTest harness hands the driver the host's path of its files):
#   dialogs_test       the server browser lists the test server, the item browser browses it, the
#                      connection dialog and its builder list Windows ODBC drivers and test a connection
#   editors_test       the table and column pick lists from an SQLite database
#   end_to_end_test    the program on a project: Run records rows, Debug shows the lines, Edit needs the
#                      password and stops cleanly
#   operator_view_test the item list's live values, qualities and the health panel's counters
#   main_window_test   tree, list, modes, password, save and load, exit
# Then tagsink.exe --version from build-win64/bin, and a picture of the main window under Xvfb with the
# windows platform plugin (docs/images/main-windows.png, when TAGSINK_SCREENSHOTS_UPDATE=1).
# Not yet part of the default run: TAGSINK_WINDOWS_DESKTOP=1 turns it on (docs/windows.md).
desktop_tests=(dialogs_test editors_test end_to_end_test operator_view_test main_window_test)

stage_desktop() {
  [ "${TAGSINK_WINDOWS_DESKTOP:-0}" = 1 ] || skip "the desktop program's stage is off (TAGSINK_WINDOWS_DESKTOP=1 turns it on)"
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
    QT_QPA_PLATFORM=offscreen TAGSINK_WINE_TIMEOUT=600 wine_in "$bin" "$t.exe" -maxwarnings 50
  done

  step "tagsink.exe --version"
  out=$(wine_in "$bin" tagsink.exe --version 2>&1 | tr -d '\r')
  grep -q '^tagsink (tagclient ' <<<"$out" || fail "tagsink.exe --version says: $out"

  if command -v xvfb-run >/dev/null; then
    step "the main window under Xvfb (windows platform plugin)"
    rm -rf "$work/shots" && mkdir -p "$work/shots"
    TAGSINK_SCREENSHOTS="$(wine_in "$work" winepath -w "$work/shots" | tr -d '\r')" TAGSINK_WINE_TIMEOUT=300 \
      xvfb-run -a -s "-screen 0 1280x800x24" "$wine" "$bin/end_to_end_test.exe" >/dev/null
    [ -s "$work/shots/main-debug.png" ] || fail "end_to_end_test.exe saved no picture of the main window"
    if [ "${TAGSINK_SCREENSHOTS_UPDATE:-0}" = 1 ]; then
      cp "$work/shots/main-debug.png" "$root/docs/images/main-windows.png"
      echo "docs/images/main-windows.png updated"
    fi
  fi
}
