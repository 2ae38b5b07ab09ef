#!/usr/bin/env bash
# The Debian package stage of the test script: makes the packages from the normal build (scripts/package-deb.sh
# build; TAGSINK_BUILD names another folder), checks their names, contents and dependencies
# (dpkg-deb -f / -c), unpacks them into a throw-away root,
# runs the programs from there against the unpacked libraries, and builds a C client against the unpacked
# libtagclient-dev with pkg-config and with find_package(tagclient).
# TAGSINK_PACKAGES=0 skips the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
if [ "${TAGSINK_PACKAGES:-1}" = 0 ]; then
  echo "packages: skipped (TAGSINK_PACKAGES=0)"
  exit 0
fi
status=0
fail() { echo "packages: FAIL: $*" >&2; status=1; }

mapfile -t debs < <(bash scripts/package-deb.sh "${TAGSINK_BUILD:-build}" | grep '\.deb$')
deb_of() { # package name
  local d
  for d in "${debs[@]}"; do
    [ "$(dpkg-deb -f "$d" Package)" = "$1" ] && { echo "$d"; return 0; }
  done
  return 1
}
app=$(deb_of tagsink) || { echo "packages: no tagsink package" >&2; exit 1; }
lib=$(deb_of libtagclient1) || { echo "packages: no libtagclient1 package" >&2; exit 1; }
dev=$(deb_of libtagclient-dev) || { echo "packages: no libtagclient-dev package" >&2; exit 1; }
[ ${#debs[@]} = 3 ] || fail "expected 3 packages, got: ${debs[*]}"

has() { # deb path
  dpkg-deb -c "$1" | awk '{print $6}' | grep -qx "./$2" || fail "$(basename "$1") lacks /$2"
}
lacks() { # deb regex
  if dpkg-deb -c "$1" | awk '{print $6}' | grep -qE "$2"; then fail "$(basename "$1") holds $2"; fi
}
depends() { # deb package
  dpkg-deb -f "$1" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx "$2" ||
    fail "$(basename "$1") does not depend on $2 (Depends: $(dpkg-deb -f "$1" Depends))"
}
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
libdir=usr/lib/$multiarch

for program in tagsink tagsink-run tagsink-project tagsink-make-sample tagclient-cli; do
  has "$app" "usr/bin/$program"
done
has "$app" "usr/lib/systemd/system/tagsink-run@.service"
lacks "$app" '\.so|/include/'
depends "$app" libtagclient1
depends "$app" libqt6widgets6
depends "$app" libodbc2
has "$lib" "$libdir/libtagclient.so.1"
has "$lib" "$libdir/libqzoleaut.so.1"
lacks "$lib" '/include/|\.so$|pkgconfig|cmake'
depends "$lib" libc6
depends "$lib" libstdc++6
has "$dev" "usr/include/tagclient.h"
has "$dev" "usr/include/platform/oleauto.h"
has "$dev" "$libdir/libtagclient.so"
has "$dev" "$libdir/pkgconfig/tagclient.pc"
has "$dev" "$libdir/cmake/tagclient/tagclientConfig.cmake"
depends "$dev" libtagclient1
dpkg-deb --ctrl-tarfile "$lib" | tar -xO ./shlibs | grep -q '^libtagclient 1 libtagclient1' ||
  fail "libtagclient1 has no shlibs entry for libtagclient.so.1"

# Unpacked into a throw-away root.
fake=$(mktemp -d /tmp/tagsink-debroot.XXXXXX)
trap 'rm -rf "$fake"' EXIT
for d in "${debs[@]}"; do dpkg-deb -x "$d" "$fake"; done
unit=$fake/usr/lib/systemd/system/tagsink-run@.service
grep -qx 'ExecStart=/usr/bin/tagsink-run /etc/tagsink/%i.dat' "$unit" || fail "the unit does not run /usr/bin/tagsink-run"
grep -qx 'KillSignal=SIGTERM' "$unit" || fail "the unit does not stop with SIGTERM"
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --root="$fake" tagsink-run@x.service 2>&1 | grep -v 'Command /usr/bin/tagsink-run is not executable' |
    grep -i 'error\|invalid\|unknown' && fail "systemd-analyze finds problems in the unit"
fi
export LD_LIBRARY_PATH=$fake/$libdir
"$fake/usr/bin/tagsink-run" --help | grep -q 'PROJECT.DAT' || fail "tagsink-run --help"
"$fake/usr/bin/tagclient-cli" --help >/dev/null || fail "tagclient-cli --help"
if ldd "$fake/usr/bin/tagsink-run" | grep -q 'not found'; then fail "tagsink-run misses a library"; fi
if ldd "$fake/usr/bin/tagsink-run" | grep "libtagclient" | grep -qv "$fake"; then
  fail "tagsink-run does not load the unpacked libtagclient"
fi

# SIGTERM is Stop: the runner, recording the sample project, stops cleanly and says so.
work=$fake/run
mkdir -p "$work"
(cd "$work" && "$fake/usr/bin/tagsink-make-sample" sample.dat) || fail "tagsink-make-sample"
if [ -f "$work/sample.dat" ]; then
  (cd "$work" && exec "$fake/usr/bin/tagsink-run" sample.dat >"$work/out.txt" 2>&1) &
  runner=$!
  sleep 3
  kill -TERM "$runner"
  if wait "$runner"; then
    grep -q 'Stopping (interrupted)' "$work/out.txt" || fail "tagsink-run did not report the stop: $(cat "$work/out.txt")"
  else
    fail "tagsink-run ended with $? on SIGTERM: $(cat "$work/out.txt")"
  fi
fi

# A client against the unpacked development package.
cc -std=c11 -Wall -Wextra -pedantic -Werror -o "$fake/pc_client" "$root/tests/sdk/client/client.c" \
  $(PKG_CONFIG_LIBDIR=$fake/$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$fake pkg-config --cflags --libs tagclient) ||
  fail "pkg-config build against libtagclient-dev"
[ -x "$fake/pc_client" ] && { "$fake/pc_client" || fail "the pkg-config client failed"; }
if cmake -S "$root/tests/sdk/client" -B "$fake/cmake-client" -G Ninja -DCMAKE_PREFIX_PATH="$fake/usr" >/dev/null &&
  cmake --build "$fake/cmake-client" >/dev/null; then
  "$fake/cmake-client/sdk_client" || fail "the find_package client failed"
else
  fail "find_package(tagclient) build against libtagclient-dev"
fi

[ $status = 0 ] && echo "packages: 3 packages checked"
exit $status
