#!/usr/bin/env bash
# The Windows stage of the test script:
#   1. cross-builds tagclient for 32-bit (build-win32/) and 64-bit Windows (build-win64/) with mingw-w64;
#   2. checks the 32-bit tagclient.dll statically: exactly the 30 exports of toolkit/tagclient.def, no
#      decorated duplicates, the stdcall stack bytes of each export, only system DLLs imported; and that
#      the SDK's C client links against each build's import library and imports the undecorated names;
#   3. checks the log procedure's register convention with a freestanding 32-bit program under
#      qemu-i386-static (skipped with a message where it cannot run);
#   4. creates a fresh Wine prefix, registers the OPC proxy/stub DLL and the COM test server, and runs the
#      tagclient C API tests (64-bit) under wine64 against it: in-process, then as a local server;
#   5. runs the recorder's programs (64-bit tagsink-run.exe, tagsink-project.exe, tagsink-buffer.exe)
#      under wine64 against the COM test server and an SQLite file reached through Wine's ODBC; the
#      32-bit ones are built and their imports checked with the static checks.
#      Then the same programs with every file in a folder whose name has Latin-1 and CJK characters.
#   6. installs tagsink-run.exe as a Windows service and starts, stops and uninstalls it with sc and net;
#      then a service whose project lies in a folder with a non-ASCII name.
#   7. makes the release zips from these build folders (scripts/package-windows.sh --no-build) and
#      checks them.
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
            x86_64-w64-mingw32-widl i686-w64-mingw32-objdump i686-w64-mingw32-nm x86_64-w64-mingw32-nm; do
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
# 32-bit: what ships, and the toolkit's test programs. They cannot run on this kind of machine, but they
# are compiled and linked all the same: a callback without QZDAC_CALL (stdcall here, and nothing on
# x86-64) does not compile for i686, and toolkit_c_header_test calls the exports through the import library.
step "cross build, 32-bit (build-win32)"
build build-win32 mingw-i686.cmake tagclient tagclient_opc_ps opcsim opcsim_local toolkit_rpc_guard_tests \
  toolkit_c_header_test toolkit_fake_tests toolkit_sim_tests toolkit_threaded_tests toolkit_stream_tests \
  toolkit_server_death_tests tagsink-run tagsink-project tagsink-buffer || { fail "32-bit build"; exit 1; }
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

# The SDK's C client (tests/sdk/client/client.c) compiled and linked against an import library: what its
# object calls (on 32-bit Windows the stdcall symbols _QZDAC_Connect@12, with the stack bytes of
# toolkit/tagclient.def) the linked program must import from tagclient.dll by the undecorated names the
# DLL exports, and nothing else from it.
check_sdk_client() { # triple libdir outdir label include_dirs...
  local triple=$1 libdir=$2 out=$3 label=$4 d inc=() obj exe calls imports expected
  shift 4
  for d in "$@"; do inc+=(-I"$d"); done
  mkdir -p "$out"
  obj=$out/sdk_client.o exe=$out/sdk_client.exe
  rm -f "$obj" "$exe"
  if ! "$triple-gcc-posix" -std=c11 -Wall -Wextra -Werror "${inc[@]}" -c tests/sdk/client/client.c -o "$obj"; then
    fail "$label: the SDK client does not compile"
    return
  fi
  if ! "$triple-gcc-posix" "$obj" -L"$libdir" -ltagclient -loleaut32 -o "$exe"; then
    fail "$label: the SDK client does not link against $libdir/libtagclient.dll.a"
    return
  fi
  calls=$("$triple-nm" -u "$obj" | sed -n 's/^[[:space:]]*U _\{0,1\}\(QZDAC_[A-Za-z]*\(@[0-9]*\)\{0,1\}\)$/\1/p' | sort -u)
  [ -n "$calls" ] || { fail "$label: the SDK client's object calls no QZDAC_ function"; return; }
  if [ "$triple" = i686-w64-mingw32 ]; then
    while read -r d; do
      def_bytes | grep -qx -- "$d" ||
        fail "$label: the client calls $d, which is not a stdcall name of toolkit/tagclient.def"
    done <<<"$calls"
  fi
  expected=$(sed 's/@[0-9]*$//' <<<"$calls" | sort -u)
  imports=$("$triple-objdump" -p "$exe" |
            awk '/^[[:space:]]*DLL Name:/{t=(tolower($3)=="tagclient.dll");next} t&&/^[[:space:]]*$/{t=0} t&&$1~/^[0-9a-f]+$/{print $NF}' |
            sort -u)
  if [ "$imports" != "$expected" ]; then
    fail "$label: the client's imports from tagclient.dll are not the undecorated names it calls"
    diff <(echo "$expected") <(echo "$imports") >&2 || true
  fi
  while read -r d; do
    def_names | grep -qx -- "$d" || fail "$label: the client imports $d, which tagclient.dll does not export"
  done <<<"$imports"
  echo "$label: the SDK client calls $(echo $calls); imports from tagclient.dll: $(echo $imports)"
}
step "a C client linked against the 32-bit build's import library (build-win32/lib/libtagclient.dll.a)"
check_sdk_client i686-w64-mingw32 build-win32/lib build-win32/sdk_client "build-win32" toolkit/include platform/include
# The recorder's programs carry the toolkit and the C++ runtime inside: they import system DLLs only,
# ODBC's among them.
check_program_imports() { # objdump exe
  local objdump=$1 exe=$2 dlls d
  local allowed='^(kernel32|user32|advapi32|ole32|oleaut32|rpcrt4|msvcrt|ws2_32|shell32|gdi32|odbc32|api-ms-win-.*)\.dll$'
  if [ ! -f "$exe" ]; then
    fail "$exe was not built"
    return
  fi
  dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  for d in $dlls; do
    echo "$d" | grep -Eq "$allowed" || fail "$exe imports $d, which is no system DLL"
  done
  echo "$exe imports: $(echo $dlls)"
}
step "imports of the 32-bit recorder programs"
check_program_imports i686-w64-mingw32-objdump build-win32/bin/tagsink-run.exe
case "$(i686-w64-mingw32-objdump -p build-win32/bin/tagsink-run.exe 2>/dev/null | tr 'A-Z' 'a-z')" in
  *"dll name: odbc32.dll"*) ;;
  *) fail "build-win32/bin/tagsink-run.exe does not import odbc32.dll" ;;
esac
check_program_imports i686-w64-mingw32-objdump build-win32/bin/tagsink-project.exe
check_program_imports i686-w64-mingw32-objdump build-win32/bin/tagsink-buffer.exe

step "export table of the 64-bit tagclient.dll"
if [ -f build-win64/bin/tagclient.dll ]; then
  check_exports x86_64-w64-mingw32-objdump build-win64/bin/tagclient.dll
else
  fail "build-win64/bin/tagclient.dll was not built"
fi
step "a C client linked against the 64-bit build's import library (build-win64/lib/libtagclient.dll.a)"
check_sdk_client x86_64-w64-mingw32 build-win64/lib build-win64/sdk_client "build-win64" toolkit/include platform/include

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

# ------------------------------------------------------------- server death and reconnect (Wine)
# The local server killed while the client only dispatches events, between two calls and inside a call
# (the test server's slow-call hook, Control.FailNext "Read=slow:MS"): the client lives, its exports fail
# with reports ("OLE error 800706BA: " and the system's text), and a new connection in the SAME Wine session
# (one wineserver for all three cases, COM starting the server anew each time) reads, writes and receives
# data changes again. The log of the run is build-win64/server_death.log.
server_death_and_reconnect() {
  local exe=$bin/toolkit_server_death_tests.exe log=$root/build-win64/server_death.log rc=0 healed
  step "the COM test server killed under the client, and connected again in the same Wine session"
  if [ ! -f "$exe" ]; then
    fail "build-win64/bin/toolkit_server_death_tests.exe was not built"
    return
  fi
  (cd "$bin" && timeout 300 "$wine" "$exe" --gtest_brief=1) >"$log" 2>&1 || rc=$?
  grep -E '^\((killed|attempt|connected|the call)' "$log" | cut -c1-160 || true
  tail -2 "$log"
  if [ $rc != 0 ]; then
    fail "server death and reconnect (exit $rc; see $log)"
    return
  fi
  if grep -q 'SKIPPED' "$log"; then fail "server death: cases were skipped (is opcsim.exe the local server?)"; fi
  healed=$(grep -c '^(connected again after' "$log" || true)
  [ "$healed" = 3 ] || fail "server death: $healed of 3 cases connected again in the same Wine session"
  grep -Eq 'report TGroup\.ReadItem: OLE error 800706BA: .{4,}' "$log" ||
    fail "server death: no report \"OLE error 800706BA\" with its text from the failed call"
}
server_death_and_reconnect

# ------------------------------------------------------------------------- the recorder under Wine
# tagsink-run.exe, tagsink-project.exe and tagsink-buffer.exe (64-bit) against the COM test server as a
# local server, writing through Wine's ODBC into the host's unixODBC SQLite3 driver:
#   (a) a project made by tagsink-project.exe from project text, byte-identical to the Linux tool's, and
#       its items added from CSV by both; records for 10 s; rows counted and checked (values, local time
#       in the TZ given to Wine);
#   (b) the database unreachable (its folder missing) for a run: "sql.dat" is kept in the working
#       directory, and the next run with the database back replays it, every statement once;
#   (c) Ctrl+C (SIGINT, which Wine delivers as the console's CTRL_C_EVENT) stops a run cleanly.
# Self-contained: its own ODBC set-up and working folder; it registers what it needs in the prefix.
# The recorder sections' project: a "Snapshot" group writing Sine of the DA 2.0 test server into `Readings`
# of the SQLite file $1 every 500 ms; the items CSV adds the rest.
snapshot_project_text() {
  cat <<TEXT
{"tagsink-project":2}

[TServer Manager]
OPCString = "/Tagsink.SimServer.DA2/"
DBString = "Driver={SQLite3};Database=$1;Timeout=5000;"

[TGroup Snapshot]
TableName = "Readings"
TimeField = "DT"
RecordInterval = 500
UpdateRate = 250

[TItem Snapshot.Sine]
FieldName = "Sine"
FieldType = ftFloat
ItemName = "Sine.Real8"
TEXT
}

# A fresh wineserver with the proxy/stub DLL and the COM test server registered; failures go to $1.
register_com_test_server() {
  local report=$1
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w
  (cd "$bin" && timeout 120 "$wine" regsvr32 /s tagclient_opc_ps.dll) || "$report" "regsvr32 tagclient_opc_ps.dll"
  (cd "$bin" && timeout 120 "$wine" opcsim.exe /RegServer) || "$report" "opcsim.exe /RegServer"
  "$wineserver" -w
}

recorder_wine_tests() {
  local rstatus=0 work odbc tz=Asia/Tokyo linux_project=$root/build/bin/tagsink-project
  rfail() { echo "windows: FAIL: recorder: $*" >&2; rstatus=1; }
  local f
  for f in tagsink-run.exe tagsink-project.exe tagsink-buffer.exe opcsim.exe tagclient_opc_ps.dll; do
    [ -f "$bin/$f" ] || { rfail "build-win64/bin/$f was not built"; return 1; }
  done
  command -v sqlite3 >/dev/null || { rfail "sqlite3 is missing (scripts/deps.sh installs it)"; return 1; }
  work=$(mktemp -d /tmp/tagsink-wine-recorder.XXXXXX)
  odbc=$work/odbc
  mkdir -p "$odbc"
  # The host's unixODBC drivers, which Wine's odbc32 reaches; the time zone the recorder's clock follows.
  (export TAGSINK_ODBC_DIR=$odbc; source "$root/scripts/test-env.sh")
  wine_env() { env ODBCSYSINI="$odbc" ODBCINSTINI=odbcinst.ini ODBCINI="$odbc/odbc.ini" TZ=$tz "$@"; }
  win() { # folder program args...: runs a recorder program of build-win64/bin under wine64 in a folder
    local dir=$1 program=$2
    shift 2
    (cd "$dir" && wine_env timeout 120 "$wine" "$bin/$program" "$@")
  }

  register_com_test_server rfail

  # ---- (a) the project: text and CSV to ".DAT" on both platforms, byte for byte
  echo "-- recorder: project file from text and CSV (tagsink-project.exe)"
  mkdir -p "$work/a"
  snapshot_project_text "$work/a/rec.db" >"$work/a/project.txt"
  printf '%s\r\n' 'group;item name;OPC item ID;field name;field type;key' \
    'Snapshot;Ramp;Ramp.Int4;Ramp;ftInteger;' 'Snapshot;Word;Text.Words;Word;ftString;' \
    'Snapshot;Flag;Toggle.Boolean;Flag;ftBoolean;' >"$work/a/items.csv"
  win "$work/a" tagsink-project.exe import project.txt win.DAT --items items.csv || rfail "tagsink-project.exe import"
  [ -s "$work/a/win.DAT" ] || rfail "tagsink-project.exe wrote no win.DAT"
  if [ -x "$linux_project" ]; then
    (cd "$work/a" && "$linux_project" import project.txt linux.DAT --items items.csv) || rfail "tagsink-project import (Linux)"
    cmp "$work/a/win.DAT" "$work/a/linux.DAT" || rfail "the .DAT of tagsink-project.exe and of the Linux tool differ"
    # And back: both read either file to the same text (Windows ends its lines with CR LF on a console).
    win "$work/a" tagsink-project.exe export linux.DAT | tr -d '\r' >"$work/a/win-export.txt" || rfail "tagsink-project.exe export"
    "$linux_project" export "$work/a/win.DAT" >"$work/a/linux-export.txt" || rfail "tagsink-project export (Linux)"
    cmp "$work/a/win-export.txt" "$work/a/linux-export.txt" || rfail "the project texts of the two tools differ"
    grep -q '^ItemName = "Toggle.Boolean"' "$work/a/win-export.txt" || rfail "the CSV's items are not in the project"
    echo "win.DAT and linux.DAT: $(stat -c %s "$work/a/win.DAT") bytes each, identical"
  else
    echo "windows: SKIPPED the comparison with the Linux tool: $linux_project is not built"
  fi

  # ---- (a) recording for 10 s
  echo "-- recorder: tagsink-run.exe records the COM test server (local server) for 10 s, TZ=$tz"
  sqlite3 "$work/a/rec.db" <"$root/docs/samples/sample.sql"
  local started ended rc=0
  started=$(date +%s)
  win "$work/a" tagsink-run.exe win.DAT --seconds 10 --log 2>"$work/a/run.log" || rc=$?
  ended=$(date +%s)
  [ $rc = 0 ] || { rfail "tagsink-run.exe exited with $rc"; tail -n 20 "$work/a/run.log" >&2; }
  local rows bad first last
  rows=$(sqlite3 "$work/a/rec.db" "select count(*) from Readings")
  bad=$(sqlite3 "$work/a/rec.db" "select count(*) from Readings where Sine is null or Sine < -100.0001 or
        Sine > 100.0001 or typeof(Ramp) <> 'integer' or Word is null or Word = '' or Flag not in ('0','1')")
  echo "Readings: $rows rows, $bad implausible; $(tail -n 1 "$work/a/run.log")"
  [ "${rows:-0}" -ge 12 ] || rfail "only ${rows:-0} rows in 10 s at a 500 ms record interval (at least 12 expected)"
  [ "${bad:-1}" = 0 ] || rfail "$bad rows hold implausible values"
  [ "$(sqlite3 "$work/a/rec.db" "select count(distinct Ramp) from Readings")" -ge 5 ] ||
    rfail "the values do not change from row to row"
  # The time column is local time in the recorder's time zone: between the start and the end of the run.
  first=$(TZ=$tz date -d "$(sqlite3 "$work/a/rec.db" "select min(DT) from Readings")" +%s 2>/dev/null || echo 0)
  last=$(TZ=$tz date -d "$(sqlite3 "$work/a/rec.db" "select max(DT) from Readings")" +%s 2>/dev/null || echo 0)
  echo "time column: $(sqlite3 "$work/a/rec.db" "select min(DT) || ' .. ' || max(DT) from Readings") ($tz)," \
       "run from $(TZ=$tz date -d "@$started" '+%F %T') to $(TZ=$tz date -d "@$ended" '+%F %T')"
  if [ "$first" -lt $((started - 2)) ] || [ "$last" -gt $((ended + 2)) ] || [ "$last" -lt "$first" ]; then
    rfail "the time column is not the local time of $tz during the run"
  fi

  # ---- (b) database unreachable: the journal is kept, then replayed
  echo "-- recorder: database unreachable for a run, then back"
  mkdir -p "$work/b"
  sed "s|Database=$work/a/rec.db|Database=$work/b/later/rec.db|" "$work/a/project.txt" >"$work/b/project.txt"
  win "$work/b" tagsink-project.exe import project.txt outage.DAT --items "$work/a/items.csv" ||
    rfail "tagsink-project.exe import (outage project)"
  rc=0
  win "$work/b" tagsink-run.exe outage.DAT --seconds 6 2>"$work/b/run1.log" || rc=$?
  [ $rc = 0 ] || { rfail "tagsink-run.exe exited with $rc while the database was unreachable"; tail -n 20 "$work/b/run1.log" >&2; }
  local kept
  [ -s "$work/b/sql.dat" ] || rfail "no sql.dat kept in the working directory while the database was unreachable"
  kept=$(win "$work/b" tagsink-buffer.exe count | tr -d '\r' | sed -n 's/^.*sql\.dat: \([0-9]*\) statements waiting$/\1/p')
  echo "kept in sql.dat: ${kept:-?} statements; $(tail -n 1 "$work/b/run1.log")"
  [ "${kept:-0}" -ge 6 ] || rfail "tagsink-buffer.exe counts ${kept:-no} statements in sql.dat (at least 6 expected)"
  mkdir -p "$work/b/later"
  sqlite3 "$work/b/later/rec.db" <"$root/docs/samples/sample.sql"
  rc=0
  win "$work/b" tagsink-run.exe outage.DAT --seconds 4 2>"$work/b/run2.log" || rc=$?
  [ $rc = 0 ] || { rfail "tagsink-run.exe exited with $rc after the database came back"; tail -n 20 "$work/b/run2.log" >&2; }
  rows=$(sqlite3 "$work/b/later/rec.db" "select count(*) from Readings")
  local left queued
  left=$(win "$work/b" tagsink-buffer.exe count | tr -d '\r' | sed -n 's/^.*sql\.dat: \([0-9]*\) statements waiting$/\1/p')
  queued=$(tr -d '\r' <"$work/b/run2.log" | sed -n 's/^queued \([0-9]*\) .*/\1/p' | tail -n 1)
  echo "after the second run: $rows rows (kept $kept + queued ${queued:-?}), ${left:-?} statements left in sql.dat"
  # Every kept statement arrives once, before the new ones.
  [ "${rows:-0}" = "$((${kept:-0} + ${queued:-0}))" ] ||
    rfail "$rows rows after the replay, $kept kept and ${queued:-?} new statements: some were lost or written twice"
  [ "${queued:-0}" -ge 2 ] || rfail "the second run recorded ${queued:-no} statements of its own"
  [ "${left:-1}" = 0 ] || rfail "${left:-?} statements are still waiting in sql.dat after the replay"

  # ---- Ctrl+C (Wine turns SIGINT into the console's CTRL_C_EVENT): a clean stop, nothing left behind
  echo "-- recorder: Ctrl+C stops tagsink-run.exe cleanly"
  (cd "$work/b" && exec env ODBCSYSINI="$odbc" ODBCINSTINI=odbcinst.ini ODBCINI="$odbc/odbc.ini" TZ=$tz \
     "$wine" "$bin/tagsink-run.exe" outage.DAT 2>"$work/b/run3.log") &
  local pid=$! waited=0
  until grep -q 'OPC Connected | DB Connected' "$work/b/run3.log" 2>/dev/null || [ $waited -ge 60 ]; do
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
    rfail "tagsink-run.exe did not stop within 30 s of Ctrl+C"
  fi
  rc=0
  wait $pid || rc=$?
  grep -q 'Stopping (interrupted)' "$work/b/run3.log" || rfail "Ctrl+C did not stop tagsink-run.exe through its handler"
  [ $rc = 0 ] || rfail "tagsink-run.exe exited with $rc after Ctrl+C"
  left=$(win "$work/b" tagsink-buffer.exe count | tr -d '\r' | sed -n 's/^.*sql\.dat: \([0-9]*\) statements waiting$/\1/p')
  echo "after Ctrl+C: exit $rc, ${left:-?} statements left in sql.dat; $(tr -d '\r' <"$work/b/run3.log" | tail -n 1)"
  [ "${left:-1}" = 0 ] || rfail "${left:-?} statements are still waiting in sql.dat after Ctrl+C"

  if [ $rstatus = 0 ]; then
    rm -rf "$work"
  else
    echo "windows: the recorder tests' files are kept in $work" >&2
  fi
  return $rstatus
}
step "the recorder under wine64: tagsink-run.exe, tagsink-project.exe, tagsink-buffer.exe"
recorder_wine_tests || fail "the recorder under wine64"

# ------------------------------------------------------- the recorder in folders with non-ASCII names
# A plant folder "Anlage Süd/测试" (Latin-1 and CJK: the second is outside the ANSI code page of Wine's
# default locale, 1252) holds the project text, the CSV, the project file, the log file, the journal and
# the database. The programs get full paths with these characters on their command lines (Z:\...):
#   (a) tagsink-project.exe builds the project there; tagsink-run.exe records for 6 s into the SQLite
#       file there, with --log-file there; rows arrive;
#   (b) with the database's folder missing, "sql.dat" is kept there, tagsink-buffer.exe --dir reads it,
#       and the next run replays it, every statement once;
#   (c) a table and fields with Latin-1 and CJK names in a database there get their rows, and the
#       driver's message on a missing table of such a name comes back readable in the log;
#   (d) the same through the wide ODBC calls (TAGSINK_ODBC_TEXT=wide), with ASCII names.
recorder_unicode_wine_tests() {
  local ustatus=0 work odbc tz=Asia/Tokyo dir wdir f
  ufail() { echo "windows: FAIL: recorder (non-ASCII folders): $*" >&2; ustatus=1; }
  for f in tagsink-run.exe tagsink-project.exe tagsink-buffer.exe opcsim.exe tagclient_opc_ps.dll; do
    [ -f "$bin/$f" ] || { ufail "build-win64/bin/$f was not built"; return 1; }
  done
  command -v sqlite3 >/dev/null || { ufail "sqlite3 is missing (scripts/deps.sh installs it)"; return 1; }
  work=$(mktemp -d /tmp/tagsink-wine-unicode.XXXXXX)
  odbc=$work/odbc
  dir="$work/Anlage Süd/测试"
  wdir="Z:$(printf '%s' "$dir" | tr / '\\')" # the same folder as Windows programs name it
  mkdir -p "$odbc" "$dir"
  (export TAGSINK_ODBC_DIR=$odbc; source "$root/scripts/test-env.sh")
  # LANG: Wine reads the host's file names as UTF-8 whatever the environment the stage runs in.
  uwin() { # folder program args...
    local at=$1 program=$2
    shift 2
    (cd "$at" && env LANG=C.UTF-8 ODBCSYSINI="$odbc" ODBCINSTINI=odbcinst.ini ODBCINI="$odbc/odbc.ini" TZ=$tz \
       timeout 120 "$wine" "$bin/$program" "$@")
  }
  register_com_test_server ufail
  echo "ANSI code page of the prefix: $(timeout 60 "$wine" reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')"

  waiting() { # the count of sql.dat in the folder, read by tagsink-buffer.exe --dir from another folder
    uwin "$work" tagsink-buffer.exe count --dir "$wdir" | tr -d '\r' |
      sed -n 's/^.*sql\.dat: \([0-9]*\) statements waiting$/\1/p'
  }

  # ---- (a) the project made there from text and CSV there; recording into the database there
  echo "-- recorder: project, log and database in \"$dir\""
  snapshot_project_text "$dir/rec.db" >"$dir/project.txt"
  printf '%s\r\n' 'group;item name;OPC item ID;field name;field type;key' \
    'Snapshot;Ramp;Ramp.Int4;Ramp;ftInteger;' >"$dir/items.csv"
  uwin "$work" tagsink-project.exe import "$wdir\\project.txt" "$wdir\\plant.DAT" --items "$wdir\\items.csv" ||
    ufail "tagsink-project.exe import with paths in the folder"
  [ -s "$dir/plant.DAT" ] || ufail "tagsink-project.exe wrote no plant.DAT in the folder"
  [ -z "$(find "$work" -name '*.DAT' ! -path "$dir/plant.DAT")" ] ||
    ufail "tagsink-project.exe wrote a project file elsewhere: $(find "$work" -name '*.DAT' ! -path "$dir/plant.DAT")"
  uwin "$work" tagsink-project.exe export "$wdir\\plant.DAT" | tr -d '\r' | grep -q '^ItemName = "Ramp.Int4"' ||
    ufail "tagsink-project.exe export of the project in the folder"
  sqlite3 "$dir/rec.db" <"$root/docs/samples/sample.sql"
  local rc=0 rows
  uwin "$dir" tagsink-run.exe "$wdir\\plant.DAT" --seconds 6 --log --log-file "$wdir\\run.log" || rc=$?
  [ $rc = 0 ] || { ufail "tagsink-run.exe exited with $rc"; tail -n 20 "$dir/run.log" >&2; }
  [ -s "$dir/run.log" ] || ufail "no log file run.log in the folder"
  rows=$(sqlite3 "$dir/rec.db" "select count(*) from Readings" 2>/dev/null || echo 0)
  echo "Readings in the folder's database: $rows rows; $(tr -d '\r' <"$dir/run.log" 2>/dev/null | tail -n 1)"
  [ "${rows:-0}" -ge 6 ] || ufail "only ${rows:-0} rows in 6 s at a 500 ms record interval (at least 6 expected)"
  [ "$(sqlite3 "$dir/rec.db" "select count(*) from Readings where Sine is null or typeof(Ramp) <> 'integer'")" = 0 ] ||
    ufail "rows without values"
  # A project that does not exist: the message names the path as given, in UTF-8.
  local out
  out=$(uwin "$work" tagsink-run.exe "$wdir\\missing.DAT" 2>&1 | tr -d '\r') && ufail "tagsink-run.exe ran a missing project"
  grep -qF "$wdir\\missing.DAT" <<<"$out" || ufail "the message on a missing project does not name it: $out"

  # ---- (b) the database's folder missing: the journal there, read from elsewhere, then replayed
  echo "-- recorder: database folder missing, journal in \"$dir\""
  snapshot_project_text "$dir/later/rec.db" >"$dir/outage.txt"
  uwin "$work" tagsink-project.exe import "$wdir\\outage.txt" "$wdir\\outage.DAT" --items "$wdir\\items.csv" ||
    ufail "tagsink-project.exe import (outage project)"
  rc=0
  uwin "$dir" tagsink-run.exe "$wdir\\outage.DAT" --seconds 6 2>"$work/run1.log" || rc=$?
  [ $rc = 0 ] || { ufail "tagsink-run.exe exited with $rc while the database was unreachable"; tail -n 20 "$work/run1.log" >&2; }
  [ -s "$dir/sql.dat" ] || ufail "no sql.dat kept in the folder while the database was unreachable"
  local kept left queued listing
  kept=$(waiting)
  listing=$(uwin "$work" tagsink-buffer.exe count --dir "$wdir" | tr -d '\r')
  echo "$listing"
  grep -qF "$wdir\\sql.dat: " <<<"$listing" || ufail "tagsink-buffer.exe does not name the journal in the folder: $listing"
  [ "${kept:-0}" -ge 6 ] || ufail "tagsink-buffer.exe counts ${kept:-no} statements in the folder's sql.dat (at least 6 expected)"
  [ "$(uwin "$work" tagsink-buffer.exe list --dir "$wdir" | tr -d '\r' | grep -ci 'insert into')" = "${kept:-x}" ] ||
    ufail "tagsink-buffer.exe list does not show the $kept statements of the folder's sql.dat"
  mkdir -p "$dir/later"
  sqlite3 "$dir/later/rec.db" <"$root/docs/samples/sample.sql"
  rc=0
  uwin "$dir" tagsink-run.exe "$wdir\\outage.DAT" --seconds 4 2>"$work/run2.log" || rc=$?
  [ $rc = 0 ] || { ufail "tagsink-run.exe exited with $rc after the database came back"; tail -n 20 "$work/run2.log" >&2; }
  rows=$(sqlite3 "$dir/later/rec.db" "select count(*) from Readings")
  left=$(waiting)
  queued=$(tr -d '\r' <"$work/run2.log" | sed -n 's/^queued \([0-9]*\) .*/\1/p' | tail -n 1)
  echo "after the second run: $rows rows (kept $kept + queued ${queued:-?}), ${left:-?} statements left in sql.dat"
  [ "${rows:-0}" = "$((${kept:-0} + ${queued:-0}))" ] ||
    ufail "$rows rows after the replay, $kept kept and ${queued:-?} new statements: some were lost or written twice"
  [ "${left:-1}" = 0 ] || ufail "${left:-?} statements are still waiting in the folder's sql.dat after the replay"

  # ---- (c) a table and fields with non-ASCII names in the database there; a missing one's message
  # Under Wine the recorder keeps the narrow ODBC calls (Wine's odbc32 hands text to the host's unixODBC,
  # whose SQLite3 driver reads UTF-8); the wide calls are then checked with ASCII names, as unixODBC cuts
  # wide text to one byte a unit for a driver without wide entry points.
  names_text() { # database table
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
  echo "-- recorder: table \"Messwerte_Süd_测试\" with fields \"温度\", \"Bemerkung_Süd\" in \"$dir/names.db\""
  names_text "$dir/names.db" "Messwerte_Süd_测试" >"$dir/names.txt"
  sqlite3 "$dir/names.db" 'create table "Messwerte_Süd_测试" ("Zeit_ä" text, "温度" real, "Bemerkung_Süd" text)'
  uwin "$work" tagsink-project.exe import "$wdir\\names.txt" "$wdir\\names.DAT" || ufail "tagsink-project.exe import (names)"
  rc=0
  uwin "$dir" tagsink-run.exe "$wdir\\names.DAT" --seconds 4 2>"$work/names.log" || rc=$?
  [ $rc = 0 ] || { ufail "tagsink-run.exe exited with $rc (non-ASCII names)"; tail -n 20 "$work/names.log" >&2; }
  rows=$(sqlite3 "$dir/names.db" 'select count(*) from "Messwerte_Süd_测试" where "温度" is not null and
         length("Bemerkung_Süd") > 0 and length("Zeit_ä") >= 19' 2>/dev/null || echo 0)
  echo "Messwerte_Süd_测试: $rows rows with every field; $(tr -d '\r' <"$work/names.log" | tail -n 1)"
  [ "${rows:-0}" -ge 4 ] || ufail "only ${rows:-0} complete rows in the table with non-ASCII names (at least 4 expected)"
  # The table missing: the driver's message names it readably, in UTF-8.
  names_text "$dir/names.db" "Fehlt_Süd_测试" >"$dir/missing.txt"
  uwin "$work" tagsink-project.exe import "$wdir\\missing.txt" "$wdir\\missing.DAT" || ufail "tagsink-project.exe import (missing table)"
  uwin "$dir" tagsink-run.exe "$wdir\\missing.DAT" --seconds 3 --log --log-file "$wdir\\missing.log" >/dev/null 2>&1 || true
  grep -qF 'no such table: Fehlt_Süd_测试' "$dir/missing.log" ||
    ufail "the driver's message on the missing table does not name it: $(grep -m1 -i 'table' "$dir/missing.log")"
  echo "missing table: $(grep -m1 -oF 'no such table: Fehlt_Süd_测试' "$dir/missing.log" || echo 'no message')"

  # ---- (d) the wide ODBC calls (SQLDriverConnectW, SQLExecDirectW, SQLGetDiagRecW) under Wine
  echo "-- recorder: the wide ODBC calls (TAGSINK_ODBC_TEXT=wide), ASCII names"
  mkdir -p "$work/wide"
  names_text "$work/wide/wide.db" "Readings_wide" | sed 's/"Zeit_ä"/"DT"/; s/"温度"/"Sine"/; s/"Bemerkung_Süd"/"Word"/' \
    >"$work/wide/wide.txt"
  sqlite3 "$work/wide/wide.db" 'create table Readings_wide (DT text, Sine real, Word text)'
  uwin "$work/wide" tagsink-project.exe import wide.txt wide.DAT || ufail "tagsink-project.exe import (wide)"
  rc=0
  (cd "$work/wide" && env TAGSINK_ODBC_TEXT=wide LANG=C.UTF-8 ODBCSYSINI="$odbc" ODBCINSTINI=odbcinst.ini \
     ODBCINI="$odbc/odbc.ini" TZ=$tz timeout 120 "$wine" "$bin/tagsink-run.exe" wide.DAT --seconds 4 \
     2>"$work/wide/run.log") || rc=$?
  [ $rc = 0 ] || { ufail "tagsink-run.exe exited with $rc (wide calls)"; tail -n 20 "$work/wide/run.log" >&2; }
  rows=$(sqlite3 "$work/wide/wide.db" "select count(*) from Readings_wide where Sine is not null and Word <> ''")
  echo "Readings_wide (wide calls): $rows rows"
  [ "${rows:-0}" -ge 4 ] || ufail "only ${rows:-0} rows through the wide calls (at least 4 expected)"
  names_text "$work/wide/wide.db" "Missing_wide" | sed 's/"Zeit_ä"/"DT"/; s/"温度"/"Sine"/; s/"Bemerkung_Süd"/"Word"/' \
    >"$work/wide/missing.txt"
  uwin "$work/wide" tagsink-project.exe import missing.txt missing.DAT || ufail "tagsink-project.exe import (wide, missing)"
  (cd "$work/wide" && env TAGSINK_ODBC_TEXT=wide LANG=C.UTF-8 ODBCSYSINI="$odbc" ODBCINSTINI=odbcinst.ini \
     ODBCINI="$odbc/odbc.ini" TZ=$tz timeout 120 "$wine" "$bin/tagsink-run.exe" missing.DAT --seconds 3 --log \
     --log-file missing.log >/dev/null 2>&1) || true
  grep -qF 'no such table: Missing_wide' "$work/wide/missing.log" ||
    ufail "the driver's message through SQLGetDiagRecW does not name the missing table: $(grep -m1 -i 'table' "$work/wide/missing.log")"

  if [ $ustatus = 0 ]; then
    rm -rf "$work"
  else
    echo "windows: the files of the test in non-ASCII folders are kept in $work" >&2
  fi
  return $ustatus
}
step "the recorder under wine64 in folders with non-ASCII names"
recorder_unicode_wine_tests || fail "the recorder under wine64 in folders with non-ASCII names"

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
  # A Wine session of its own: the service manager started by an earlier stage keeps that stage's
  # environment (an ODBC set-up already removed), and its services would inherit it.
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w
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
  svc_wait_rows 3 60 || { fail "service: no rows arrive ($(svc_rows)); the service's log ends:"; svc_logs | tail -n 20 >&2; }
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

# ------------------------------------------------ the service with its project in a non-ASCII folder
# The service's command line holds the project's path "C:\Anlage Süd\测试\plant.DAT" (outside the ANSI
# code page): installed (the install's check loads the project by that path), shown back by status,
# started (the service works in that folder and logs there), stopped cleanly, uninstalled.
service_unicode_stage() {
  local name=TagsinkUnicodeTest out ustatus=0 f
  local dir="$WINEPREFIX/drive_c/Anlage Süd/测试" win='C:\Anlage Süd\测试'
  usfail() { echo "windows: FAIL: service (non-ASCII folder): $*" >&2; ustatus=1; }
  for f in tagsink-run.exe tagsink-make-sample.exe tagsink-project.exe opcsim.exe tagclient_opc_ps.dll; do
    [ -f "$bin/$f" ] || { usfail "build-win64/bin/$f was not built"; return 1; }
  done
  # A session of its own, whose service manager reads the host's file names as UTF-8.
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w
  usvc() { env LANG=C.UTF-8 timeout 120 "$wine" "$@"; }
  (cd "$bin" && usvc regsvr32 /s tagclient_opc_ps.dll) || usfail "regsvr32 tagclient_opc_ps.dll"
  (cd "$bin" && usvc opcsim.exe /RegServer) || usfail "opcsim.exe /RegServer"
  rm -rf "$dir" && mkdir -p "$dir" && cp "$bin/tagsink-run.exe" "$dir/"
  local run="$dir/tagsink-run.exe" dbdir db
  dbdir=$(mktemp -d /tmp/tagsink-service-db.XXXXXX)
  db=$dbdir/service.db
  sqlite3 "$db" <"$root/docs/samples/sample.sql" || { usfail "the sample tables"; return 1; }
  usvc_rows() { sqlite3 "$db" 'select (select count(*) from Readings) + (select count(*) from Events)' 2>/dev/null || echo 0; }
  usvc_state() { usvc sc query "$name" 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }
  local i
  (cd "$WINEPREFIX/drive_c" && usvc "$bin/tagsink-make-sample.exe" "$win\\sample.DAT" >/dev/null) ||
    { usfail "tagsink-make-sample.exe with a path in the folder"; return 1; }
  (cd "$WINEPREFIX/drive_c" && usvc "$bin/tagsink-project.exe" export "$win\\sample.DAT" | tr -d '\r' |
     sed "s|Database=sample.db;|Database=$db;|" | usvc "$bin/tagsink-project.exe" import - "$win\\plant.DAT") ||
    { usfail "tagsink-project.exe export/import with paths in the folder"; return 1; }

  echo "-- service: install with the project in \"$win\""
  out=$(cd "$WINEPREFIX/drive_c" && usvc "$run" service install "$name" "$win\\plant.DAT" --manual --log 2>&1 | tr -d '\r')
  echo "$out"
  grep -q "installed" <<<"$out" || { usfail "install"; rm -rf "$dbdir"; return 1; }
  grep -qF "working folder: $win" <<<"$out" || usfail "the install does not name the working folder $win"
  out=$(usvc "$run" service status "$name" 2>&1 | tr -d '\r')
  grep -qF -e "--service-name $name \"$win\\plant.DAT\"" <<<"$out" ||
    usfail "the stored command line does not read back with the project's path: $out"
  usvc sc start "$name" >/dev/null || usfail "sc start"
  for ((i = 0; i < 120 && $(usvc_rows) <= 3; i++)); do sleep 0.5; done
  [ "$(usvc_rows)" -gt 3 ] || { usfail "no rows arrive ($(usvc_rows)); the service's log ends:"; tail -n 20 "$dir/tagsink-run.log" >&2; }
  out=$(usvc "$run" service stop "$name" 2>&1 | tr -d '\r')
  grep -q 'stopped: exit status 0 (a clean stop)' <<<"$out" || usfail "tagsink-run service stop says: $out"
  grep -q '^Stopping (service stop)' <(tr -d '\r' <"$dir/tagsink-run.log" 2>/dev/null) ||
    usfail "no \"Stopping (service stop)\" in tagsink-run.log in the folder"
  [ ! -e "$dir/sql.dat" ] || usfail "sql.dat left in the folder after a clean stop"
  echo "service rows: $(usvc_rows); state: $(usvc_state)"
  usvc "$run" service uninstall "$name" || usfail "uninstall"
  rm -rf "$dbdir"
  return $ustatus
}
step "the recorder as a Windows service, its project in a folder with a non-ASCII name"
service_unicode_stage || fail "the service with its project in a folder with a non-ASCII name"

# ---------------------------------------------------------------------------------------- release
# The release zips, made from the build folders above (package-windows.sh --no-build: nothing is built
# again): every file there, programs and DLLs importing system DLLs only, the README with CR LF, the SDK
# usable by a C client of each bitness, and (under Wine) the packaged programs starting from the
# unpacked folder alone.
check_release() {
  local dist=$root/build-win64/release zips= arch top listing f d allowed dlls
  step "release zips (scripts/package-windows.sh --no-build)"
  rm -rf "$dist"
  for arch in x64 x86; do
    zips+=$(bash scripts/package-windows.sh --no-build --arch $arch --out "$dist")$'\n' ||
      fail "scripts/package-windows.sh --arch $arch"
  done
  allowed='^(kernel32|user32|advapi32|ole32|oleaut32|rpcrt4|msvcrt|ws2_32|shell32|gdi32|odbc32|bcrypt|shlwapi|version|psapi|userenv|dbghelp|wtsapi32|secur32|api-ms-win-.*)\.dll$'
  for arch in x64 x86; do
    local zip=$dist/tagsink-windows-$arch.zip triple
    triple=$([ $arch = x64 ] && echo x86_64-w64-mingw32 || echo i686-w64-mingw32)
    top=tagsink-windows-$arch
    grep -qx "$zip" <<<"$zips" || { fail "package-windows.sh made no $(basename "$zip")"; continue; }
    listing=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
    for f in tagsink-run.exe tagsink-project.exe tagsink-buffer.exe tagclient.dll tagclient_opc_ps.dll \
             README-windows.txt THIRD-PARTY-NOTICES.txt sdk/include/tagclient.h sdk/include/platform/oleauto.h \
             sdk/lib/libtagclient.dll.a sdk/lib/tagclient.def examples/sample.DAT examples/sample.sql; do
      grep -qx "$top/$f" <<<"$listing" || fail "$(basename "$zip") lacks $top/$f"
    done
    if grep -qv "^$top/" <<<"$listing"; then fail "$(basename "$zip") holds files outside $top/"; fi
    rm -rf "$dist/$arch" && python3 -m zipfile -e "$zip" "$dist/$arch" ||
      { fail "unzip $(basename "$zip")"; continue; }
    for f in "$dist/$arch/$top"/*.exe "$dist/$arch/$top"/*.dll; do
      [ -f "$f" ] || continue
      dlls=$("$triple-objdump" -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
      for d in $dlls; do
        if [ "$d" = tagclient.dll ]; then continue; fi # beside it in the folder
        grep -Eq "$allowed" <<<"$d" || fail "$arch/$(basename "$f") imports $d, which is no system DLL"
      done
    done
    if [ -f "$dist/$arch/$top/tagsink-run.exe" ]; then
      dlls=$("$triple-objdump" -p "$dist/$arch/$top/tagsink-run.exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
      grep -qx 'odbc32.dll' <<<"$dlls" ||
        fail "$arch/tagsink-run.exe does not import odbc32.dll"
    fi
    local readme=$dist/$arch/$top/README-windows.txt
    if [ -f "$readme" ]; then
      [ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] || fail "$arch README-windows.txt: not every line ends in CR LF"
      if grep -q '@[A-Z_]*@' "$readme"; then fail "$arch README-windows.txt: a placeholder is left"; fi
    fi
    # The SDK's C client built against the unpacked SDK alone (on 32-bit Windows it calls the stdcall
    # names), beside the release's tagclient.dll.
    check_sdk_client "$triple" "$dist/$arch/$top/sdk/lib" "$dist/$arch/$top" "$arch release SDK" \
      "$dist/$arch/$top/sdk/include"
  done
  if [ -x "$wine" ] && [ -n "${WINEPREFIX:-}" ]; then
    top=$dist/x64/tagsink-windows-x64
    local said
    # It writes and reads an item of the COM test server (Tagsink.SimServer.DA2), registered here
    # in-process (the stages before may have left it a local server, or its registration gone).
    (cd "$bin" && timeout 120 "$wine" regsvr32 /s tagclient_opc_ps.dll && timeout 120 "$wine" regsvr32 /s opcsim.dll) ||
      fail "regsvr32 tagclient_opc_ps.dll opcsim.dll (for the SDK client)"
    said=$(cd "$top" && timeout 120 "$wine" sdk_client.exe 2>&1 | tr -d '\r' || true)
    grep -qx "tagclient $(sed -n 's/^#define TAGCLIENT_VERSION "\(.*\)"$/\1/p' toolkit/include/tagclient.h): wrote and read back 4711" <<<"$said" ||
      fail "x64: the SDK client does not run against the release's tagclient.dll: $said"
    if [ -f "$top/tagsink-project.exe" ]; then
      said=$(cd "$top" && timeout 120 "$wine" tagsink-project.exe check examples\\sample.DAT 2>&1 || true)
      grep -q 'sample.DAT: ok' <<<"$said" ||
        fail "x64: tagsink-project.exe from the release does not check examples\\sample.DAT"
    fi
    if [ -f "$top/tagsink-run.exe" ]; then
      said=$(cd "$top" && timeout 120 "$wine" tagsink-run.exe --help 2>&1 || true)
      grep -q '^Usage:' <<<"$said" ||
        fail "x64: tagsink-run.exe from the release does not answer --help"
    fi
  fi
  echo "release: $(echo $zips)"
}
check_release

if [ $status = 0 ]; then echo "windows: all checks passed"; fi
exit $status
