#!/usr/bin/env bash
# The Windows stage of the test script:
#   1. cross-builds tagclient for 32-bit (build-win32/) and 64-bit Windows (build-win64/) with mingw-w64;
#   2. checks the 32-bit tagclient.dll statically: exactly the 30 exports of toolkit/tagclient.def, no
#      decorated duplicates, the stdcall stack bytes of each export, only system DLLs imported;
#   3. checks the log procedure's register convention with a freestanding 32-bit program under
#      qemu-i386-static (skipped with a message where it cannot run);
#   4. creates a fresh Wine prefix, registers the OPC proxy/stub DLL and the COM test server, and runs the
#      tagclient C API tests (64-bit) under wine64 against it: in-process, then as a local server.
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
# The 32-bit recorder, for the x86 release (checked with the release below; the tests go on without it).
step "cross build, 32-bit recorder (build-win32)"
build build-win32 mingw-i686.cmake tagsink-run tagsink-project tagsink-buffer || fail "32-bit build of the recorder"
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
    # A C client built against the unpacked SDK alone (on 32-bit Windows it calls the stdcall names).
    printf '%s\n' '#include <tagclient.h>' '#include <stdio.h>' \
      'int main(void) { if (!QZDAC_Init()) return 1; printf("tagclient %s\n", TAGCLIENT_VERSION); return QZDAC_Uninit() ? 0 : 1; }' \
      >"$dist/$arch/sdk_client.c"
    "$triple-gcc-posix" -std=c11 -Wall -Wextra -Werror -I"$dist/$arch/$top/sdk/include" "$dist/$arch/sdk_client.c" \
      -L"$dist/$arch/$top/sdk/lib" -ltagclient -o "$dist/$arch/$top/sdk_client.exe" ||
      fail "$arch: a C client does not build against the release's SDK"
  done
  if [ -x "$wine" ] && [ -n "${WINEPREFIX:-}" ]; then
    top=$dist/x64/tagsink-windows-x64
    local said
    said=$(cd "$top" && timeout 120 "$wine" sdk_client.exe | tr -d '\r' || true)
    grep -qx "tagclient $(sed -n 's/^#define TAGCLIENT_VERSION "\(.*\)"$/\1/p' toolkit/include/tagclient.h)" <<<"$said" ||
      fail "x64: the SDK client does not run against the release's tagclient.dll"
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
