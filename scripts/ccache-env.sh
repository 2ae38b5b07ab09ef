# shellcheck shell=bash disable=SC2034  # ccache_launcher is read by the scripts that source this one
# Sourced by the scripts that configure a build: compile through ccache when it is installed, all of them
# with one cache, beside the Qt-for-Windows cache (scripts/qt-windows.sh), so that the test script, the
# runner, the packages and a fresh clone elsewhere find what another one compiled. Paths inside the clone
# count as relative ones. CCACHE_DIR, CCACHE_MAXSIZE and CCACHE_BASEDIR, when set, are kept; a cache
# folder that cannot be written leaves ccache's own default. Sets `ccache_launcher`, the CMake arguments.
ccache_launcher=()
if command -v ccache >/dev/null; then
  ccache_launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  if [ -z "${CCACHE_DIR:-}" ]; then
    ccache_dir=${TAGSINK_QT_WINDOWS_CACHE:-/var/cache/tagsink}/ccache
    if mkdir -p "$ccache_dir" 2>/dev/null && [ -w "$ccache_dir" ]; then
      export CCACHE_DIR=$ccache_dir
    fi
    unset ccache_dir
  fi
  export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-12G}
  CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
  export CCACHE_BASEDIR CCACHE_NOHASHDIR=true
fi
