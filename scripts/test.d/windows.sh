#!/usr/bin/env bash
# The Windows stage of the test script:
#   1. cross-builds tagclient for 32-bit (build-win32/) and 64-bit Windows (build-win64/) with mingw-w64;
#   2. checks the 32-bit tagclient.dll statically: exactly the 30 exports of toolkit/tagclient.def, no
#      decorated duplicates, the stdcall stack bytes of each export, only system DLLs imported;
#   3. checks the log procedure's register convention with a freestanding 32-bit program under
#      qemu-i386-static (skipped with a message where it cannot run);
#   4. creates a fresh Wine prefix, registers the OPC proxy/stub DLL and the COM test server, and runs the
#      tagclient C API tests (64-bit) under wine64 against it: in-process, then as a local server;
#   5. installs tagsink-run.exe as a Windows service and starts, stops and uninstalls it with sc and net.
# Exits non-zero when a step fails. TAGSINK_WINDOWS=0 skips the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

if [ "${TAGSINK_WINDOWS:-1}" = 0 ]; then
  echo "windows: skipped (TAGSINK_WINDOWS=0)"
  exit 0
fi

jobs=${TAGSINK_JOBS:-$(nproc)}
wine=${TAGSINK_WINE64:-/usr/lib/wine/wine64}
wineserver=${TAGSINK_WINESERVER:-/usr/lib/wine/wineserver}
status=0
fail() { echo "windows: FAIL: $*" >&2; status=1; }
step() { echo "== windows: $*"; }

for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-widl \
            x86_64-w64-mingw32-widl i686-w64-mingw32-objdump i686-w64-mingw32-nm; do
  command -v "$tool" >/dev/null || { echo "windows: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done

# ---------------------------------------------------------------------------------------------- build
build() { # dir toolchain [targets...]
  local dir=$1 toolchain=$2
  shift 2
  cmake -S windows -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    --toolchain "$root/cmake/toolchains/$toolchain" >/dev/null
  cmake --build "$dir" -j "$jobs" ${1:+--target "$@"}
}
# 32-bit: what ships (its tests cannot run on this kind of machine).
step "cross build, 32-bit (build-win32)"
build build-win32 mingw-i686.cmake tagclient tagclient_opc_ps opcsim opcsim_local toolkit_rpc_guard_tests || { fail "32-bit build"; exit 1; }
step "cross build, 64-bit (build-win64)"
build build-win64 mingw-x86_64.cmake || { fail "64-bit build"; exit 1; }

# ------------------------------------------------------------------------------------- export table
def_names() { sed -n 's/^[[:space:]]\{1,\}\(QZDAC_[A-Za-z]*\)[[:space:]]*$/\1/p' toolkit/tagclient.def; }
def_bytes() { sed -n 's/^;[[:space:]]*\(QZDAC_[A-Za-z]*@[0-9]*\)[[:space:]]*$/\1/p' toolkit/tagclient.def; }

check_exports() { # objdump dll
  local objdump=$1 dll=$2 expected actual
  expected=$(def_names | sort)
  actual=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^\t\[/{print $NF;next} t&&!/^\t\[/{t=0}' | sort)
  if [ "$(echo "$expected" | wc -l)" != 30 ]; then fail "toolkit/tagclient.def does not list 30 exports"; fi
  if [ "$actual" != "$expected" ]; then
    fail "$dll: the export table differs from toolkit/tagclient.def"
    diff <(echo "$expected") <(echo "$actual") >&2 || true
  fi
  if echo "$actual" | grep -q '@'; then fail "$dll exports decorated names"; fi
  # Only the system's own DLLs may be imported (everything else is linked in statically).
  local allowed='^(kernel32|user32|advapi32|ole32|oleaut32|rpcrt4|msvcrt|ws2_32|shell32|gdi32|uuid|api-ms-win-.*)\.dll$'
  local dlls
  dlls=$("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  for d in $dlls; do
    echo "$d" | grep -Eq "$allowed" || fail "$dll imports $d, which is no system DLL"
  done
  echo "$dll: $(echo "$actual" | wc -l) exports; imports: $(echo $dlls)"
}

step "export table of the 32-bit tagclient.dll"
if [ -f build-win32/bin/tagclient.dll ]; then
  check_exports i686-w64-mingw32-objdump build-win32/bin/tagclient.dll
  # stdcall stack bytes: the decorated symbols of the 32-bit objects carry them (_Name@bytes).
  decorated=$(find build-win32 -name '*.obj' -path '*toolkit*' -print0 | xargs -0 i686-w64-mingw32-nm -g --defined-only 2>/dev/null |
              sed -n 's/.* T _\(QZDAC_[A-Za-z]*@[0-9]*\)$/\1/p' | sort -u)
  while read -r want; do
    echo "$decorated" | grep -qx "$want" || fail "the 32-bit build does not define $want (stdcall stack bytes)"
  done < <(def_bytes)
else
  fail "build-win32/bin/tagclient.dll was not built"
fi
step "export table of the 64-bit tagclient.dll"
if [ -f build-win64/bin/tagclient.dll ]; then
  check_exports x86_64-w64-mingw32-objdump build-win64/bin/tagclient.dll
else
  fail "build-win64/bin/tagclient.dll was not built"
fi

# ------------------------------------------------------------------------------ register convention
step "register convention of TLogProc (freestanding 32-bit program under qemu-i386-static)"
logcall=$(echo '#include <tagclient.h>' |
          i686-w64-mingw32-gcc-posix -E -dM -Itoolkit/include -Iplatform/include -x c - 2>/dev/null |
          sed -n 's/^#define QZDAC_LOGCALL //p')
if [ -z "$logcall" ]; then
  fail "tagclient.h defines no QZDAC_LOGCALL for 32-bit Windows"
elif ! command -v qemu-i386-static >/dev/null; then
  echo "windows: SKIPPED the register-convention run: qemu-i386-static is missing (package qemu-user-static)"
elif ! gcc -m32 -ffreestanding -nostdlib -static -fno-pie -no-pie -O2 "-DTLOGCALL=$logcall" \
        windows/abi/regparm_check.c -o build-win32/regparm_check 2>build-win32/regparm_check.log; then
  echo "windows: SKIPPED the register-convention run: this compiler cannot build 32-bit code ($(head -1 build-win32/regparm_check.log))"
else
  if qemu-i386-static build-win32/regparm_check; then
    echo "TLogProc ($logcall): source in EAX, message in EDX, nothing on the stack"
  else
    fail "TLogProc ($logcall) does not pass its arguments in EAX and EDX (exit $?)"
  fi
fi

# ------------------------------------------------------------------------------------- Wine tests
if [ ! -x "$wine" ]; then
  echo "windows: SKIPPED the Wine run: $wine is missing (package wine64)"
  exit $status
fi
bin=$root/build-win64/bin
# Core tests (scripted transport, no server): once. C API tests against servers: in- and out-of-process.
core_tests=$(ls "$bin"/toolkit_{c_header_test,stream_tests,threaded_tests,fake_tests,rpc_guard_tests}.exe 2>/dev/null || true)
tests=$(ls "$bin"/toolkit_sim_tests.exe 2>/dev/null || true)
[ -n "$core_tests" ] || fail "no tagclient core test programs in build-win64/bin"

export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/tagsink-wine.XXXXXX)
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() { "$wineserver" -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"; }
trap cleanup EXIT

step "fresh Wine prefix ($WINEPREFIX)"
timeout 300 "$wine" wineboot -i >/dev/null 2>&1 || true
"$wineserver" -w
# No crash dialog and no interactive debugger: a crash ends the crashing process with a backtrace.
timeout 60 "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
timeout 60 "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 1 /f \
  >/dev/null 2>&1

run_tests() { # label programs...
  local label=$1 t
  shift
  for t in "$@"; do
    echo "-- $label: $(basename "$t")"
    (cd "$bin" && timeout 900 "$wine" "$t" --gtest_brief=1 \
       ${TAGSINK_WINE_GTEST_FILTER:+--gtest_filter=$TAGSINK_WINE_GTEST_FILTER}) ||
      fail "$label: $(basename "$t")"
  done
}
step "core tests under wine64 (scripted transport)"
run_tests "core" $core_tests

for f in opcsim.dll opcsim.exe tagclient_opc_ps.dll; do
  [ -f "$bin/$f" ] || fail "build-win64/bin/$f (the COM test server) was not built"
done
missing=0
for f in opcsim.dll opcsim.exe tagclient_opc_ps.dll; do [ -f "$bin/$f" ] || missing=1; done
[ -n "$tests" ] || { fail "build-win64/bin/toolkit_sim_tests.exe (C API tests against servers) was not built"; missing=1; }
if [ $missing != 0 ]; then exit 1; fi

step "registration: proxy/stub DLL and the COM test server (in-process)"
(cd "$bin" && timeout 120 "$wine" regsvr32 /s tagclient_opc_ps.dll) || fail "regsvr32 tagclient_opc_ps.dll"
(cd "$bin" && timeout 120 "$wine" regsvr32 /s opcsim.dll) || fail "regsvr32 opcsim.dll"
"$wineserver" -w

step "C API tests under wine64, COM test server in-process"
run_tests "in-process" $tests

step "registration: the COM test server as a local server (opcsim.exe /RegServer)"
(cd "$bin" && timeout 120 "$wine" opcsim.exe /RegServer) || fail "opcsim.exe /RegServer"
"$wineserver" -w
step "C API tests under wine64, COM test server out-of-process"
run_tests "out-of-process" $tests

# Last: the local server killed while the client only dispatches events, between two calls and inside a
# call; the client lives and its exports fail with reports. Wine's COM service keeps the class registration
# of a killed server until the wineserver ends, so every case starts with a fresh one.
step "the COM test server killed under the client (out-of-process)"
if [ -f "$bin/toolkit_server_death_tests.exe" ]; then
  for case in KilledWhileTheClientOnlyDispatchesEvents KilledBetweenTwoCalls KilledInsideACall; do
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w
    echo "-- server death: $case"
    (cd "$bin" && timeout 180 "$wine" toolkit_server_death_tests.exe --gtest_brief=1 \
       "--gtest_filter=ServerDeath.$case") || fail "server death: $case"
  done
else
  fail "build-win64/bin/toolkit_server_death_tests.exe was not built"
fi

# ------------------------------------------------------------------------ the recorder as a service
# tagsink-run.exe installed as a Windows service for the sample project: the COM test server as a local
# server, an SQLite file through Wine's ODBC (which reaches the host's SQLite3 driver of
# /etc/odbcinst.ini: a service does not inherit this script's environment). Started and stopped with
# sc, net and tagsink-run's own commands; checked: rows arrive, the stop is clean (log lines, exit code
# 0, nothing left in sql.dat, every executed statement a row), the log rotates, a project damaged while
# installed ends the service with exit code 1, and the uninstall.
service_stage() {
  local name=TagsinkServiceTest out
  local dir="$WINEPREFIX/drive_c/tagsink service" win='C:\tagsink service'
  local f
  for f in tagsink-run.exe tagsink-make-sample.exe tagsink-project.exe; do
    [ -f "$bin/$f" ] || { fail "service: build-win64/bin/$f was not built"; return; }
  done
  command -v sqlite3 >/dev/null || { fail "service: sqlite3 is missing (scripts/deps.sh installs it)"; return; }
  local run="$dir/tagsink-run.exe" # the program the service starts: the operator's copy beside the project
  rm -rf "$dir" && mkdir -p "$dir" && cp "$bin/tagsink-run.exe" "$dir/"
  local dbdir db
  dbdir=$(mktemp -d /tmp/tagsink-service-db.XXXXXX)
  db=$dbdir/service.db
  sqlite3 "$db" <docs/samples/sample.sql || { fail "service: the sample tables"; return; }
  svc_w() { timeout 120 "$wine" "$@"; }
  svc_rows() { sqlite3 "$db" 'select (select count(*) from Readings) + (select count(*) from Events)' 2>/dev/null || echo 0; }
  svc_state() { svc_w sc query "$name" 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }
  svc_wait_state() { # STATE seconds
    local i
    for ((i = 0; i < $2 * 4; i++)); do [ "$(svc_state)" = "$1" ] && return 0; sleep 0.25; done
    return 1
  }
  svc_wait_rows() { # more-than seconds
    local i
    for ((i = 0; i < $2 * 2; i++)); do [ "$(svc_rows)" -gt "$1" ] && return 0; sleep 0.5; done
    return 1
  }
  svc_logs() { cat "$dir"/tagsink-run.log.2 "$dir"/tagsink-run.log.1 "$dir"/tagsink-run.log 2>/dev/null | tr -d '\r'; }

  # The project: the sample, its database the SQLite file above (the host's driver takes a host path).
  (cd "$dir" && svc_w "$bin/tagsink-make-sample.exe" sample.DAT >/dev/null) || { fail "service: tagsink-make-sample.exe"; return; }
  (cd "$dir" && svc_w "$bin/tagsink-project.exe" export sample.DAT | tr -d '\r' |
     sed "s|Database=sample.db;|Database=$db;|" | svc_w "$bin/tagsink-project.exe" import - plant.DAT) ||
    { fail "service: tagsink-project.exe export/import"; return; }

  echo "-- service: install"
  out=$(cd "$dir" && svc_w "$run" service install "$name" "$win\\plant.DAT" --manual --log --log-size 1024 --log-files 2 2>&1)
  echo "$out" | tr -d '\r'
  echo "$out" | grep -q "installed" || { fail "service: install"; return; }
  out=$(cd "$dir" && svc_w "$run" service install "$name" "$win\\plant.DAT" 2>&1) && fail "service: a second install succeeded"
  echo "$out" | grep -q "(error 1073)" || fail "service: a second install does not say that the service exists: $out"
  out=$(cd "$dir" && svc_w "$run" --service-name "$name" "$win\\plant.DAT" 2>&1) && fail "service: the service's command line ran in a console"
  echo "$out" | grep -q "is for the service control manager" || fail "service: console run of the service's command line: $out"

  echo "-- service: sc start, rows, net stop"
  svc_w sc start "$name" >/dev/null || fail "service: sc start"
  svc_wait_state RUNNING 60 || fail "service: not running after sc start (state: $(svc_state))"
  svc_wait_rows 3 60 || fail "service: no rows arrive ($(svc_rows))"
  sleep 5 # enough for the log to rotate more than twice at 1024 bytes
  svc_w net stop "$name" || fail "service: net stop"
  svc_wait_state STOPPED 30 || fail "service: not stopped after net stop (state: $(svc_state))"
  out=$(svc_w sc query "$name" | tr -d '\r')
  echo "$out" | grep -Eq 'WIN32_EXIT_CODE *: *0 ' || fail "service: exit code after net stop: $out"
  grep -q '^Stopping (service stop)$' <<<"$(svc_logs)" || fail "service: the log has no \"Stopping (service stop)\""
  [ ! -e "$dir/sql.dat" ] || fail "service: sql.dat left after a clean stop ($(wc -l <"$dir/sql.dat") lines)"
  local executed
  executed=$(svc_logs | sed -n 's/^queued [0-9]*  executed \([0-9]*\) .*/\1/p' | tail -1)
  [ -n "$executed" ] && [ "$executed" = "$(svc_rows)" ] ||
    fail "service: the last progress line says ${executed:-nothing} executed, the database holds $(svc_rows) rows"
  [ -s "$dir/tagsink-run.log.1" ] && [ -s "$dir/tagsink-run.log.2" ] || fail "service: the log did not rotate at 1024 bytes"
  [ ! -e "$dir/tagsink-run.log.3" ] || fail "service: more rotated logs than --log-files 2"
  for f in "$dir"/tagsink-run.log*; do
    [ "$(stat -c %s "$f")" -le 1024 ] || fail "service: $(basename "$f") is larger than 1024 bytes"
    [ "$(tail -c 1 "$f" | od -An -c | tr -d ' ')" = '\n' ] || fail "service: $(basename "$f") ends inside a line"
  done

  echo "-- service: net start, tagsink-run service stop"
  local before
  before=$(svc_rows)
  svc_w net start "$name" || fail "service: net start"
  svc_wait_rows "$before" 60 || fail "service: no new rows after net start"
  out=$(svc_w "$run" service status "$name" 2>&1 | tr -d '\r')
  echo "$out" | grep -q ': running, process' || fail "service: status while running: $out"
  out=$(svc_w "$run" service stop "$name" 2>&1 | tr -d '\r') || fail "service: tagsink-run service stop: $out"
  echo "$out" | grep -q 'stopped: exit status 0 (a clean stop)' || fail "service: tagsink-run service stop says: $out"
  [ "$(grep -c '^Stopping (service stop)$' <<<"$(svc_logs)")" -ge 1 ] || fail "service: no stop line after the second run"

  echo "-- service: a project damaged while installed"
  cp "$dir/plant.DAT" "$dir/plant.good"
  printf 'not a project' >"$dir/plant.DAT"
  out=$(svc_w "$run" service start "$name" 2>&1 | tr -d '\r') && fail "service: started with a damaged project"
  echo "$out" | grep -q 'exit status 1' || fail "service: start with a damaged project says: $out"
  out=$(svc_w sc query "$name" | tr -d '\r')
  echo "$out" | grep -Eq 'SERVICE_EXIT_CODE *: *1 ' || fail "service: service-specific exit code: $out"
  grep -q '^tagsink-run: .*plant.DAT: ' <<<"$(svc_logs)" || fail "service: the log does not say why the project was refused"
  cp "$dir/plant.good" "$dir/plant.DAT"

  echo "-- service: uninstall"
  svc_w "$run" service uninstall "$name" || fail "service: uninstall"
  out=$(svc_w "$run" service status "$name" 2>&1) && fail "service: status of an uninstalled service succeeded"
  echo "$out" | grep -q '(error 1060)' || fail "service: status after uninstall says: $out"
  rm -rf "$dbdir"
}

step "the recorder as a Windows service"
service_stage

if [ $status = 0 ]; then echo "windows: all checks passed"; fi
exit $status
