# exports: static checks of what the build made, for both bitnesses:
#   the 32-bit tagclient.dll exports exactly the 30 names of toolkit/tagclient.def, without decorated
#   duplicates, its objects define the stdcall names with the stack bytes the .def lists, and it imports
#   system DLLs only; the SDK's C client links against each build's import library and imports the
#   undecorated names; the recorder's 32-bit programs import system DLLs only (ODBC's among them).
stage_exports() {
  local decorated want exe
  step "export table of the 32-bit tagclient.dll"
  [ -f "$root/build-win32/bin/tagclient.dll" ] || fail "build-win32/bin/tagclient.dll was not built"
  check_exports i686-w64-mingw32-objdump "$root/build-win32/bin/tagclient.dll"
  # stdcall stack bytes: the decorated symbols of the 32-bit objects carry them (_Name@bytes).
  decorated=$(find "$root/build-win32" -name '*.obj' -path '*toolkit*' -print0 |
              xargs -0 i686-w64-mingw32-nm -g --defined-only 2>/dev/null |
              sed -n 's/.* T _\(QZDAC_[A-Za-z]*@[0-9]*\)$/\1/p' | sort -u)
  while read -r want; do
    grep -qx -- "$want" <<<"$decorated" || fail "the 32-bit build does not define $want (stdcall stack bytes)"
  done < <(def_bytes)

  step "a C client linked against the 32-bit build's import library (build-win32/lib/libtagclient.dll.a)"
  check_sdk_client i686-w64-mingw32 "$root/build-win32/lib" "$root/build-win32/sdk_client" build-win32 \
    "$root/toolkit/include" "$root/platform/include"

  step "imports of the 32-bit recorder programs"
  for exe in tagsink-run tagsink-project tagsink-buffer; do
    exe=$root/build-win32/bin/$exe.exe
    [ -f "$exe" ] || fail "${exe#$root/} was not built"
    only_imports i686-w64-mingw32-objdump "$exe" \
      'kernel32|user32|advapi32|ole32|oleaut32|rpcrt4|msvcrt|ws2_32|shell32|gdi32|odbc32|api-ms-win-.*'
  done
  dll_imports i686-w64-mingw32-objdump "$root/build-win32/bin/tagsink-run.exe" | grep -qx odbc32.dll ||
    fail "build-win32/bin/tagsink-run.exe does not import odbc32.dll"

  step "export table of the 64-bit tagclient.dll"
  [ -f "$root/build-win64/bin/tagclient.dll" ] || fail "build-win64/bin/tagclient.dll was not built"
  check_exports x86_64-w64-mingw32-objdump "$root/build-win64/bin/tagclient.dll"
  step "a C client linked against the 64-bit build's import library (build-win64/lib/libtagclient.dll.a)"
  check_sdk_client x86_64-w64-mingw32 "$root/build-win64/lib" "$root/build-win64/sdk_client" build-win64 \
    "$root/toolkit/include" "$root/platform/include"
}
