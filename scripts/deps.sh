#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Safe to run again: it asks apt only when something is missing.
set -euo pipefail

PACKAGES=(
  # toolchain and test frameworks
  build-essential cmake ninja-build ccache git pkg-config clang libclang-rt-14-dev clang-format clang-tidy file
  libgtest-dev libgmock-dev libbenchmark-dev
  # libraries
  qt6-base-dev qt6-l10n-tools libmuparser-dev nlohmann-json3-dev libcli11-dev
  # tagsink-run's HTTP endpoint (the Windows build compiles the same version from its source package)
  libcpp-httplib-dev
  # databases through ODBC
  unixodbc unixodbc-dev odbcinst libsqliteodbc odbc-postgresql postgresql sqlite3 mariadb-server odbc-mariadb
  # screens, fonts and a notification area for the desktop tests
  xvfb xauth x11-apps imagemagick fonts-wqy-microhei trayer
  # the examples (ctypes) and the docs check
  python3
  # the status page's browser test (scripts/test.d/browser.sh; playwright-core comes from npm)
  chromium
)
# Node.js and npm for that test: Debian's, unless a node with its npm is installed already.
if ! command -v npm >/dev/null; then
  PACKAGES+=(nodejs npm)
fi
if [ "${TAGSINK_WINDOWS:-1}" = 1 ]; then
  # the Windows cross-build of the toolkit and its tests under Wine
  PACKAGES+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev wine64 qemu-user-static)
  # the Windows release zips (scripts/package-windows.sh)
  PACKAGES+=(zip)
  # the HTTP stage asks tagsink-run.exe from the Linux side
  PACKAGES+=(curl)
fi

# The Windows cross-build compiles muParser from Debian's source package (apt-get source muparser):
# apt needs a deb-src entry beside the deb one, with the same URIs, suites and components.
ensure_deb_src() {
  local sources=/etc/apt/sources.list.d/debian.sources
  [ -f "$sources" ] || return 0
  grep -Eq '^Types:.*deb-src' "$sources" && return 0
  echo "Adding deb-src to $sources"
  sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
  apt-get update -qq
}
if [ "${TAGSINK_WINDOWS:-1}" = 1 ]; then
  ensure_deb_src
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
