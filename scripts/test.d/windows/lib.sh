# Sourced by scripts/test.d/windows.sh: the helpers every stage may use. The runner has exported the
# Wine and ODBC environment (WINEPREFIX, ODBCSYSINI, TZ, LANG...) and set root, bin (build-win64/bin),
# wine, wineserver, jobs, odbc (the ODBC set-up folder) and work (a folder removed at the end).

# One way to report: the stage ends with the message. (A failing command ends it as well, by the
# runner's ERR trap.)
fail() {
  echo "windows: FAIL: $STAGE: $*" >&2
  exit 1
}
step() { echo "-- $STAGE: $*"; }
# Unavailable tools end the stage as passed, and say so.
skip() {
  echo "windows: SKIPPED $STAGE: $*"
  exit 0
}

# needs FILE...: the files of build-win64/bin that the stage uses (built by the build stage).
needs() {
  local f
  for f in "$@"; do
    [ -f "$bin/$f" ] || fail "build-win64/bin/$f was not built (run the build stage first)"
  done
}

# A Wine prefix ready for the stage: created at the first use (about 15 s), no crash dialog and no
# interactive debugger (a crash ends the crashing process with a backtrace).
need_wine() {
  [ -x "$wine" ] || skip "$wine is missing (package wine64)"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "fresh Wine prefix ($WINEPREFIX)"
    timeout 300 "$wine" wineboot -i >/dev/null 2>&1 || true
    "$wineserver" -w
    [ -f "$WINEPREFIX/system.reg" ] || fail "wineboot made no prefix in $WINEPREFIX"
    timeout 60 "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    timeout 60 "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ \
      /d 1 /f >/dev/null 2>&1
  fi
}

# wine_in FOLDER PROGRAM ARGS...: a Windows program under wine64 in FOLDER, at most TAGSINK_WINE_TIMEOUT
# (default 120) seconds. PROGRAM is a path, or a name in build-win64/bin, or one of Wine's own programs.
wine_in() {
  local dir=$1 program=$2
  shift 2
  [ -f "$program" ] || [ ! -f "$bin/$program" ] || program=$bin/$program
  (cd "$dir" && timeout "${TAGSINK_WINE_TIMEOUT:-120}" "$wine" "$program" "$@")
}
# A fresh wineserver (its service manager takes the environment above) with the OPC proxy/stub DLL and
# the COM test server registered: in-process (default) or as a local server (opcsim.exe /RegServer).
register_com_test_server() { # [inproc|local]
  needs tagclient_opc_ps.dll opcsim.dll opcsim.exe
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w
  wine_in "$bin" regsvr32 /s tagclient_opc_ps.dll
  if [ "${1:-inproc}" = local ]; then
    wine_in "$bin" opcsim.exe /RegServer
  else
    wine_in "$bin" regsvr32 /s opcsim.dll
  fi
  "$wineserver" -w
}
# gtest_under_wine LABEL PROGRAM...: GoogleTest programs of build-win64/bin.
gtest_under_wine() {
  local label=$1 t
  shift
  for t in "$@"; do
    echo "-- $label: $(basename "$t")"
    TAGSINK_WINE_TIMEOUT=900 wine_in "$bin" "$t" --gtest_brief=1 \
      ${TAGSINK_WINE_GTEST_FILTER:+--gtest_filter=$TAGSINK_WINE_GTEST_FILTER}
  done
}
# The count of "sql.dat" a tagsink-buffer.exe count prints (FOLDER to run in, more arguments).
journal_count() {
  wine_in "$@" | tr -d '\r' | sed -n 's/^.*sql\.dat: \([0-9]*\) statements waiting$/\1/p'
}

# ------------------------------------------------------------------------------ static checks of PE files
def_names() { sed -n 's/^[[:space:]]\{1,\}\(QZDAC_[A-Za-z]*\)[[:space:]]*$/\1/p' "$root/toolkit/tagclient.def"; }
def_bytes() { sed -n 's/^;[[:space:]]*\(QZDAC_[A-Za-z]*@[0-9]*\)[[:space:]]*$/\1/p' "$root/toolkit/tagclient.def"; }
dll_imports() { # objdump file: the DLLs it imports, lower case, one a line
  "$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'
}
# only_imports OBJDUMP FILE REGEX: FILE imports DLLs that REGEX (an ERE alternative list) matches only.
only_imports() {
  local d dlls
  dlls=$(dll_imports "$1" "$2")
  for d in $dlls; do
    grep -Eqx "($3)\.dll" <<<"$d" || fail "$2 imports $d, which is not allowed here"
  done
  echo "${2#$root/}: imports $(echo $dlls)"
}

check_exports() { # objdump dll: exactly the 30 names of toolkit/tagclient.def, undecorated; system DLLs only
  local objdump=$1 dll=$2 expected actual
  expected=$(def_names | sort)
  actual=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^\t\[/{print $NF;next} t&&!/^\t\[/{t=0}' | sort)
  [ "$(wc -l <<<"$expected")" = 30 ] || fail "toolkit/tagclient.def does not list 30 exports"
  if [ "$actual" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    fail "$dll: the export table differs from toolkit/tagclient.def"
  fi
  if grep -q '@' <<<"$actual"; then fail "$dll exports decorated names"; fi
  # Only the system's own DLLs may be imported (everything else is linked in statically).
  only_imports "$objdump" "$dll" 'kernel32|user32|advapi32|ole32|oleaut32|rpcrt4|msvcrt|ws2_32|shell32|gdi32|uuid|api-ms-win-.*'
  echo "$dll: $(wc -l <<<"$actual") exports"
}

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
  "$triple-gcc-posix" -std=c11 -Wall -Wextra -Werror "${inc[@]}" -c "$root/tests/sdk/client/client.c" -o "$obj" ||
    fail "$label: the SDK client does not compile"
  "$triple-gcc-posix" "$obj" -L"$libdir" -ltagclient -loleaut32 -o "$exe" ||
    fail "$label: the SDK client does not link against $libdir/libtagclient.dll.a"
  calls=$("$triple-nm" -u "$obj" | sed -n 's/^[[:space:]]*U _\{0,1\}\(QZDAC_[A-Za-z]*\(@[0-9]*\)\{0,1\}\)$/\1/p' | sort -u)
  [ -n "$calls" ] || fail "$label: the SDK client's object calls no QZDAC_ function"
  if [ "$triple" = i686-w64-mingw32 ]; then
    while read -r d; do
      def_bytes | grep -qx -- "$d" || fail "$label: the client calls $d, which is not a stdcall name of toolkit/tagclient.def"
    done <<<"$calls"
  fi
  expected=$(sed 's/@[0-9]*$//' <<<"$calls" | sort -u)
  imports=$("$triple-objdump" -p "$exe" |
            awk '/^[[:space:]]*DLL Name:/{t=(tolower($3)=="tagclient.dll");next} t&&/^[[:space:]]*$/{t=0} t&&$1~/^[0-9a-f]+$/{print $NF}' |
            sort -u)
  if [ "$imports" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$imports") >&2 || true
    fail "$label: the client's imports from tagclient.dll are not the undecorated names it calls"
  fi
  while read -r d; do
    def_names | grep -qx -- "$d" || fail "$label: the client imports $d, which tagclient.dll does not export"
  done <<<"$imports"
  echo "$label: the SDK client calls $(echo $calls); imports from tagclient.dll: $(echo $imports)"
}

# --------------------------------------------------------------------------------------- the service
# The helpers take the service's name in $name and its database in $db.
svc_rows() { sqlite3 "$db" 'select (select count(*) from Readings) + (select count(*) from Events)' 2>/dev/null || echo 0; } # busy: 0
svc_state() { wine_in "$work" sc query "$name" | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }
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
# The sample project (tagsink-make-sample.exe) in the Windows folder $1, its database the host file $db.
svc_project() {
  local at=$WINEPREFIX/drive_c
  wine_in "$at" tagsink-make-sample.exe "$1\\sample.DAT" >/dev/null
  wine_in "$at" tagsink-project.exe export "$1\\sample.DAT" | tr -d '\r' | sed "s|Database=sample.db;|Database=$db;|" |
    wine_in "$at" tagsink-project.exe import - "$1\\plant.DAT"
}

# ------------------------------------------------------------------------------- the recorder's project
# A "Snapshot" group writing Sine of the DA 2.0 test server into `Readings` of the SQLite file $1 every
# 500 ms; an items CSV adds the rest.
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
