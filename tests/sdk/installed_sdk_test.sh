#!/usr/bin/env bash
# Installs the tagclient SDK of a build tree into a throw-away DESTDIR and builds the C client in client/
# against it both ways a user would: with pkg-config and with find_package(tagclient). Each client then
# runs against the installed libraries (nothing from the build tree) and talks to the simulated server.
#   installed_sdk_test.sh BUILD_DIR VERSION PREFIX [LIBDIR]
# PREFIX is the build's CMAKE_INSTALL_PREFIX, which the pkg-config file names (the CMake package is
# relocatable); LIBDIR its CMAKE_INSTALL_LIBDIR ("lib", or lib/<multiarch> under /usr).
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
prefix=$3
lib=${4:-lib}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/tagclient-sdk.XXXXXX)
trap 'rm -rf "$work"' EXIT
dest=$work/dest

for component in libtagclient libtagclient-dev; do
  DESTDIR=$dest cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
root=$dest$prefix
libdir=$root/$lib
for file in include/tagclient.h include/platform/oleauto.h "$lib/libtagclient.so" "$lib/libtagclient.so.1" \
            "$lib/libqzoleaut.so.1" "$lib/cmake/tagclient/tagclientConfig.cmake" "$lib/pkgconfig/tagclient.pc"; do
  [ -e "$root/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done
soname=$(objdump -p "$libdir/libtagclient.so.$version" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = "libtagclient.so.${version%%.*}" ] || { echo "SONAME is '$soname'" >&2; exit 1; }
# Nothing installed may point back into the build or source tree.
if grep -rlI -e "$build" -e "$(cd "$here/../.." && pwd)" "$root"; then
  echo "installed files name the build or source tree" >&2
  exit 1
fi

run() { # client
  env -u LD_LIBRARY_PATH LD_LIBRARY_PATH="$libdir" "$1" "$version"
}

echo "== pkg-config"
export PKG_CONFIG_LIBDIR=$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$dest
[ "$(pkg-config --modversion tagclient)" = "$version" ] || { echo "pkg-config version differs" >&2; exit 1; }
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -pedantic -Werror -o "$work/pc_client" "$here/client/client.c" \
  $(pkg-config --cflags --libs tagclient)
run "$work/pc_client"

echo "== find_package(tagclient)"
cmake -S "$here/client" -B "$work/cmake-client" -G Ninja -DCMAKE_PREFIX_PATH="$root" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -pedantic -Werror" >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$work/cmake-client" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }
run "$work/cmake-client/sdk_client"
# A version the package does not satisfy is refused.
mkdir -p "$work/too-new"
sed 's/find_package(tagclient 1 REQUIRED)/find_package(tagclient 99 REQUIRED)/' "$here/client/CMakeLists.txt" \
  >"$work/too-new/CMakeLists.txt"
cp "$here/client/client.c" "$work/too-new/"
if cmake -S "$work/too-new" -B "$work/too-new/build" -G Ninja -DCMAKE_PREFIX_PATH="$root" >/dev/null 2>&1; then
  echo "find_package(tagclient 99) was satisfied by $version" >&2
  exit 1
fi
