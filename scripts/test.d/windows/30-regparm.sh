# regparm: the log procedure's register convention, checked with a freestanding 32-bit program under
# qemu-i386-static (skipped with a message where it cannot run: no emulator, or no 32-bit compiler).
stage_regparm() {
  local logcall out=$root/build-win32
  logcall=$(echo '#include <tagclient.h>' |
            i686-w64-mingw32-gcc-posix -E -dM -I"$root/toolkit/include" -I"$root/platform/include" -x c - |
            sed -n 's/^#define QZDAC_LOGCALL //p')
  [ -n "$logcall" ] || fail "tagclient.h defines no QZDAC_LOGCALL for 32-bit Windows"
  command -v qemu-i386-static >/dev/null || skip "qemu-i386-static is missing (package qemu-user-static)"
  mkdir -p "$out"
  if ! gcc -m32 -ffreestanding -nostdlib -static -fno-pie -no-pie -O2 "-DTLOGCALL=$logcall" \
       "$root/windows/abi/regparm_check.c" -o "$out/regparm_check" 2>"$out/regparm_check.log"; then
    skip "this compiler cannot build 32-bit code ($(head -1 "$out/regparm_check.log"))"
  fi
  qemu-i386-static "$out/regparm_check" || fail "TLogProc ($logcall) does not pass its arguments in EAX and EDX"
  echo "TLogProc ($logcall): source in EAX, message in EDX, nothing on the stack"
}
