# release: the release zips, made from the build folders (scripts/package-windows.sh --no-build: nothing
# is built again): every file there, programs and DLLs importing system DLLs only (and what ships beside
# them), the README with CR LF, the SDK usable by a C client of each bitness, and (under Wine) the
# packaged programs starting from the unpacked folder alone (tagclient-cli.exe lists the servers; the
# desktop program tagsink.exe, x64, loads with the DLLs shipped beside it).
stage_release() {
  local dist=$root/build-win64/release zips= arch top listing f d dlls zip triple readme said
  local allowed='kernel32|user32|advapi32|ole32|oleaut32|rpcrt4|msvcrt|ws2_32|shell32|gdi32|odbc32|bcrypt|shlwapi|version|psapi|userenv|dbghelp|wtsapi32|secur32|api-ms-win-.*'
  # Qt's DLLs use more of the system's (display, input, fonts, themes).
  local qt_system='comdlg32|imm32|winmm|dwmapi|uxtheme|d2d1|d3d9|d3d11|dxgi|dwrite|setupapi|netapi32|authz|mpr|shcore|ntdll|winspool\.drv'
  local shipped
  # The desktop program is in the x64 zip unless its stage is off (TAGSINK_WINDOWS_DESKTOP=0).
  local desktop=--no-desktop
  [ "${TAGSINK_WINDOWS_DESKTOP:-1}" != 1 ] || desktop=--desktop
  rm -rf "$dist"
  for arch in x64 x86; do
    zips+=$(bash "$root/scripts/package-windows.sh" --no-build --arch $arch --out "$dist" $desktop)$'\n'
  done
  for arch in x64 x86; do
    zip=$dist/tagsink-windows-$arch.zip
    triple=$([ $arch = x64 ] && echo x86_64-w64-mingw32 || echo i686-w64-mingw32)
    top=tagsink-windows-$arch
    step "$(basename "$zip")"
    grep -qx "$zip" <<<"$zips" || fail "package-windows.sh made no $(basename "$zip")"
    listing=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
    for f in tagsink-run.exe tagsink-project.exe tagsink-buffer.exe tagclient-cli.exe tagclient.dll tagclient_opc_ps.dll \
             README-windows.txt THIRD-PARTY-NOTICES.txt sdk/include/tagclient.h sdk/include/platform/oleauto.h \
             sdk/lib/libtagclient.dll.a sdk/lib/tagclient.def examples/sample.DAT examples/sample.sql \
             docs/app.md docs/windows.md docs/tagclient-cli.md docs/images/main-run-live.png; do
      grep -qx "$top/$f" <<<"$listing" || fail "$(basename "$zip") lacks $top/$f"
    done
    if [ $arch = x64 ] && [ "$desktop" = --desktop ]; then
      for f in tagsink.exe docs/images/main-windows.png Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll; do
        grep -qx "$top/$f" <<<"$listing" || fail "$(basename "$zip") lacks $top/$f"
      done
    elif grep -q "^$top/tagsink.exe$" <<<"$listing"; then
      fail "$(basename "$zip") holds a 32-bit desktop program, which is not built"
    fi
    if grep -qv "^$top/" <<<"$listing"; then fail "$(basename "$zip") holds files outside $top/"; fi
    rm -rf "$dist/$arch"
    python3 -m zipfile -e "$zip" "$dist/$arch"
    # Every program and DLL imports system DLLs and what the zip ships beside it, nothing else.
    shipped=$(cd "$dist/$arch/$top" && find . -maxdepth 1 -name '*.dll' -printf '%f\n' | tr 'A-Z' 'a-z')
    while read -r f; do
      dlls=$(dll_imports "$triple-objdump" "$f")
      for d in $dlls; do
        grep -qx -- "$d" <<<"$shipped" && continue
        grep -Eqx "($allowed|$qt_system)\.dll" <<<"$d" || fail "$arch/${f#$dist/$arch/$top/} imports $d, which is no system DLL and not shipped"
        case ${f##*/} in
          Qt6*|q*.dll|lib*.dll) ;;
          *) grep -Eqx "($allowed)\.dll" <<<"$d" || fail "$arch/${f##*/} imports $d" ;;
        esac
      done
    done < <(find "$dist/$arch/$top" -name '*.exe' -o -name '*.dll' | grep -v '/sdk_client')
    dll_imports "$triple-objdump" "$dist/$arch/$top/tagsink-run.exe" | grep -qx odbc32.dll ||
      fail "$arch/tagsink-run.exe does not import odbc32.dll"
    readme=$dist/$arch/$top/README-windows.txt
    [ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] || fail "$arch README-windows.txt: not every line ends in CR LF"
    if grep -q '@[A-Z_]*@' "$readme"; then fail "$arch README-windows.txt: a placeholder is left"; fi
    # The SDK's C client built against the unpacked SDK alone (on 32-bit Windows it calls the stdcall
    # names), beside the release's tagclient.dll.
    check_sdk_client "$triple" "$dist/$arch/$top/sdk/lib" "$dist/$arch/$top" "$arch release SDK" \
      "$dist/$arch/$top/sdk/include"
  done
  echo "release: $(echo $zips)"

  [ -x "$wine" ] || skip "the packaged programs' run under Wine: $wine is missing (package wine64)"
  need_wine
  step "the x64 programs run from the unpacked folder"
  top=$dist/x64/tagsink-windows-x64
  # The SDK client writes and reads an item of the COM test server (Tagsink.SimServer.DA2), in-process.
  register_com_test_server inproc
  said=$(wine_in "$top" sdk_client.exe 2>&1 | tr -d '\r' || true)
  grep -qx "tagclient $(sed -n 's/^#define TAGCLIENT_VERSION "\(.*\)"$/\1/p' "$root/toolkit/include/tagclient.h"): wrote and read back 4711" <<<"$said" ||
    fail "x64: the SDK client does not run against the release's tagclient.dll: $said"
  said=$(wine_in "$top" tagsink-project.exe check 'examples\sample.DAT' 2>&1 || true)
  grep -q 'sample.DAT: ok' <<<"$said" || fail "x64: tagsink-project.exe from the release does not check examples\\sample.DAT: $said"
  said=$(wine_in "$top" tagsink-run.exe --help 2>&1 || true)
  grep -q '^Usage:' <<<"$said" || fail "x64: tagsink-run.exe from the release does not answer --help"
  said=$(wine_in "$top" tagclient-cli.exe servers 2>&1 | tr -d '\r' || true)
  grep -q '^Tagsink.SimServer.DA2 ' <<<"$said" || fail "x64: tagclient-cli.exe from the release does not list the servers: $said"
  echo "tagclient-cli.exe servers (from the unpacked folder): $(echo $said)"
  if [ "$desktop" = --desktop ]; then
    # The DLLs it imports are all beside it: it loads and answers from the unpacked folder.
    said=$(wine_in "$top" tagsink.exe --version 2>&1 | tr -d '\r' || true)
    grep -q '^tagsink (tagclient ' <<<"$said" || fail "x64: tagsink.exe from the release does not start: $said"
    echo "tagsink.exe --version (from the unpacked folder): $said"
  fi
}
