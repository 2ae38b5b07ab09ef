#!/usr/bin/env bash
# Cross-builds Qt 6 for 64-bit Windows (qtbase only: Core, Gui, Widgets, Test and the windows platform
# plugin) from Debian's own source package, with mingw-w64's posix-thread compilers, and installs it into
# a cache folder outside the clone. The folder's name carries the Qt version and a digest of the options,
# so a cache made with other options is never reused; a finished cache is reused as it is.
#   bash scripts/qt-windows.sh            builds when needed, then prints the install folder
#   bash scripts/qt-windows.sh --prefix   prints the install folder it would use, builds nothing
# TAGSINK_QT_WINDOWS_CACHE (default /var/cache/tagsink) is the folder that holds the caches.
# Nothing is downloaded except Debian packages (apt-get source; scripts/deps.sh adds the deb-src entry).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache_root=${TAGSINK_QT_WINDOWS_CACHE:-/var/cache/tagsink}
jobs=${TAGSINK_JOBS:-$(nproc)}

version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null | sed 's/[+-].*//')
if [ -z "$version" ]; then
  echo "qt-windows: qt6-base-dev-tools is not installed (scripts/deps.sh installs it)" >&2
  exit 1
fi

# Every option that shapes the result. Changing one gives a new cache folder.
options=(
  -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_icu=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_tabletevent=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF
  -DCMAKE_BUILD_TYPE=Release
)
toolchain='set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_AR x86_64-w64-mingw32-gcc-ar-posix CACHE FILEPATH "archiver")
set(CMAKE_RANLIB x86_64-w64-mingw32-gcc-ranlib-posix CACHE FILEPATH "ranlib")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)'
digest=$(printf '%s\n' "$version" "${options[@]}" "$toolchain" | sha256sum | cut -c1-12)
prefix=$cache_root/qt-$version-mingw64-posix-$digest

if [ "${1:-}" = --prefix ]; then
  echo "$prefix"
  exit 0
fi
if [ -e "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

for tool in x86_64-w64-mingw32-g++-posix ninja cmake; do
  command -v "$tool" >/dev/null || { echo "qt-windows: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done

work=$cache_root/work-$version-$digest
mkdir -p "$work"
echo "qt-windows: building Qt $version for Windows x86_64 into $prefix (about 30 minutes on 2 cores)" >&2
if [ ! -d "$work/src" ]; then
  (cd "$work" && rm -rf dl && mkdir dl && cd dl && apt-get source -qq --download-only "qt6-base=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)" >&2)
  tarball=$(ls "$work"/dl/qt6-base_*.orig.tar.* | head -n 1)
  mkdir -p "$work/src.tmp"
  tar -xf "$tarball" -C "$work/src.tmp" --strip-components=1
  mv "$work/src.tmp" "$work/src"
fi
# The toolchain file lives in the install, where the installed qt-cmake keeps pointing at it.
mkdir -p "$prefix"
printf '%s\n' "$toolchain" >"$prefix/mingw-x86_64-toolchain.cmake"
cmake -S "$work/src" -B "$work/build" -G Ninja --toolchain "$prefix/mingw-x86_64-toolchain.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake "${options[@]}" >"$work/configure.log" 2>&1 || {
  tail -n 40 "$work/configure.log" >&2
  echo "qt-windows: configure failed (log: $work/configure.log)" >&2
  exit 1
}
# One progress line a minute instead of ninja's thousand.
(
  while sleep 60; do
    [ -f "$work/build.log" ] && echo "qt-windows: $(grep -o '^\[[0-9]*/[0-9]*\]' "$work/build.log" | tail -n 1)" >&2
  done
) &
ticker=$!
trap 'kill $ticker 2>/dev/null || true' EXIT
if ! cmake --build "$work/build" -j "$jobs" >"$work/build.log" 2>&1; then
  grep -B2 -A10 'error' "$work/build.log" | tail -n 60 >&2
  echo "qt-windows: build failed (log: $work/build.log)" >&2
  exit 1
fi
cmake --install "$work/build" >"$work/install.log" 2>&1
touch "$prefix/.complete"
rm -rf "$work/build" "$work/dl"
echo "$prefix"
