#!/usr/bin/env bash
# Builds the Debian packages with CPack: tagsink, libtagclient1 and libtagclient-dev, into build-deb/
# (or the build folder given). A new folder gets a release build installed under /usr, without tests;
# an existing build folder (the test script passes build/) is reused as it is configured, with only its
# install prefix set to /usr, so that the packages cost no second build.
#   bash scripts/package-deb.sh [BUILD_DIR]
# Prints the paths of the packages it made.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}
jobs=${TAGSINK_JOBS:-$(nproc)}

for tool in cmake ninja dpkg-deb dpkg-shlibdeps file; do
  command -v "$tool" >/dev/null || { echo "package-deb: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done

# shellcheck source=scripts/ccache-env.sh
source scripts/ccache-env.sh
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DTAGSINK_WITH_TESTS=OFF -DTAGSINK_WITH_BENCH=OFF -DTAGSINK_WITH_FUZZ=OFF "${ccache_launcher[@]}" >/dev/null
fi
cmake --build "$build" -j "$jobs"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }
ls "$PWD/$build"/*.deb
