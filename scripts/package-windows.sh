#!/usr/bin/env bash
# Makes the Windows release: tagsink-windows-x64.zip and tagsink-windows-x86.zip, each one folder of the
# same name holding the recorder (tagsink-run.exe, tagsink-project.exe, tagsink-buffer.exe), the OPC client
# tagclient-cli.exe, tagclient.dll with its OPC proxy/stub DLL, the SDK for C clients (header, import
# library, export list), the sample project, the operator's documents and the third-party notices; the
# x64 one also the desktop program tagsink.exe with the Qt DLLs and plugins it needs (a missing x64 build
# folder is then configured with the Qt that scripts/qt-windows.sh builds or finds; --no-desktop leaves
# it out).
#
#   bash scripts/package-windows.sh [--arch x64|x86|all] [--build-dir [ARCH=]DIR]... [--out DIR]
#                                   [--no-build] [--partial] [--no-desktop]
#
#   --arch       which release to make (all: both, the default)
#   --build-dir  the cross-build folder to take the programs from (default build-win64 for x64, build-win32
#                for x86); "x64=DIR" names it for one architecture, a plain DIR goes with a single --arch.
#                A missing folder is configured (release targets only, no tests); an existing one is
#                brought up to date by building the release targets only.
#   --out        where the zip files go (default dist/)
#   --no-build   build nothing: fail when the build folder is missing or not up to date (the test stage
#                uses this on the folders it has just built)
#   --partial    package what exists when some release program is not in the build (the exit status
#                stays 1, the missing files are named)
#   --no-desktop the x64 release without the desktop program tagsink.exe and its Qt DLLs (no Qt for
#                Windows needed); --desktop, the default, keeps them
#
# Writes the zips with zip, or with python3's zipfile where zip is missing (TAGSINK_ZIP_TOOL=python3
# chooses that). Prints the path of every zip file it made. Exits 1 when something is missing or a step fails.
# The zips are reproducible: files in a fixed order, every time stamp that of the last commit
# (SOURCE_DATE_EPOCH when set), the same permissions.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=scripts/ccache-env.sh
source scripts/ccache-env.sh
jobs=${TAGSINK_JOBS:-$(nproc)}

die() { echo "package-windows: $*" >&2; exit 1; }
usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; }

archs=all out=dist no_build=0 partial=0 desktop=1
declare -A build_dir=()
plain_build_dir=
while [ $# -gt 0 ]; do
  case $1 in
    --arch) [ $# -ge 2 ] || die "--arch needs x64, x86 or all"; archs=$2; shift 2 ;;
    --arch=*) archs=${1#--arch=}; shift ;;
    --build-dir|--build-dir=*)
      if [ "$1" = --build-dir ]; then [ $# -ge 2 ] || die "--build-dir needs a folder"; value=$2; shift 2
      else value=${1#--build-dir=}; shift; fi
      case $value in
        x64=*|x86=*) build_dir[${value%%=*}]=${value#*=} ;;
        *) plain_build_dir=$value ;;
      esac ;;
    --out) [ $# -ge 2 ] || die "--out needs a folder"; out=$2; shift 2 ;;
    --out=*) out=${1#--out=}; shift ;;
    --no-build) no_build=1; shift ;;
    --partial) partial=1; shift ;;
    --desktop) desktop=1; shift ;;
    --no-desktop) desktop=0; shift ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; die "unknown argument: $1" ;;
  esac
done
case $archs in
  all) archs="x64 x86" ;;
  x64|x86) ;;
  *) die "--arch is x64, x86 or all, not \"$archs\"" ;;
esac
if [ -n "$plain_build_dir" ]; then
  [ "$archs" = x64 ] || [ "$archs" = x86 ] || die "--build-dir DIR goes with one --arch; use --build-dir x64=DIR --build-dir x86=DIR"
  build_dir[$archs]=$plain_build_dir
fi

triple_of() { case $1 in x64) echo x86_64-w64-mingw32 ;; x86) echo i686-w64-mingw32 ;; esac; }
toolchain_of() { case $1 in x64) echo mingw-x86_64.cmake ;; x86) echo mingw-i686.cmake ;; esac; }
default_dir_of() { case $1 in x64) echo build-win64 ;; x86) echo build-win32 ;; esac; }
bits_of() { case $1 in x64) echo 64 ;; x86) echo 32 ;; esac; }

# What a release holds: build target, the file it makes in the build folder's bin/.
release_targets=(tagsink-run tagsink-project tagsink-buffer tagclient-cli tagclient tagclient_opc_ps)
# The desktop program is built for 64-bit Windows only, over the Qt that scripts/qt-windows.sh builds;
# the DLLs and plugins it needs are listed by the build in tagsink-runtime.txt.
# The documentation pages of the zip (docs/...).
operator_docs=(app.md windows.md operations.md tagclient-cli.md databases.md project-file.md
               project-text-format.md reference/tserver.md reference/tgroup.md reference/titem.md
               reference/sql-examples.md)
targets_of() {
  if [ "$1" = x64 ] && [ $desktop = 1 ]; then echo "${release_targets[*]} tagsink"; else echo "${release_targets[*]}"; fi
}
file_of() { case $1 in tagclient|tagclient_opc_ps) echo "$1.dll" ;; *) echo "$1.exe" ;; esac; }

for tool in cmake ninja; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/deps.sh installs it)"
done
for arch in $archs; do
  t=$(triple_of "$arch")
  for tool in "$t-g++-posix" "$t-strip" "$t-objdump"; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/deps.sh installs it)"
  done
done
if ! command -v zip >/dev/null && ! command -v python3 >/dev/null; then
  die "neither zip nor python3 is there to write the zip files (scripts/deps.sh installs zip)"
fi

version=$(sed -n 's/^project(tagsink VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
tagclient_version=$(sed -n 's/^#define TAGCLIENT_VERSION "\(.*\)"$/\1/p' toolkit/include/tagclient.h)
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
fi
# The zip format keeps local time from 1980 on: start at 1980-01-02 whatever the epoch says.
[ "$SOURCE_DATE_EPOCH" -ge 315619200 ] 2>/dev/null || SOURCE_DATE_EPOCH=315619200
export SOURCE_DATE_EPOCH # also the PE time stamp that strip writes

# ------------------------------------------------------------------------------------------- build
# What building TARGETS in DIR would run (empty: up to date). A dry run of build.ninja stops at the check
# of the source globs (which it takes as a change of the build file); under another name the build file
# is not a target, and the dry run lists what the targets would need.
build_plan() { # dir targets...
  local dir=$1 copy
  shift
  copy=$(mktemp "$dir/.package-check.XXXXXX.ninja")
  cp "$dir/build.ninja" "$copy"
  ninja -C "$dir" -f "$(basename "$copy")" -n "$@" | grep -Ev 'Entering directory|no work to do' || true
  rm -f "$copy"
}
up_to_date() { [ -z "$(build_plan "$@")" ]; }
# Brings DIR up to date for the release targets that exist in it; prints the targets that do not.
prepare() { # arch dir
  local arch=$1 dir=$2 have=() missing=() t
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    [ $no_build = 0 ] || die "$dir is not a configured build folder (--no-build builds nothing)"
    echo "package-windows: configuring $dir ($arch)" >&2
    local qt=() qt_prefix
    if [ "$arch" = x64 ] && [ $desktop = 1 ]; then
      qt_prefix=$(bash "$root/scripts/qt-windows.sh") || die "no Qt for Windows (scripts/qt-windows.sh failed)"
      qt=(-DTAGSINK_QT_PREFIX="$qt_prefix")
    fi
    cmake -S windows -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAGSINK_WITH_TESTS=OFF \
      --toolchain "$root/cmake/toolchains/$(toolchain_of "$arch")" "${ccache_launcher[@]}" "${qt[@]}" >&2 ||
      die "configuring $dir failed"
  fi
  # The build file itself first (this compiles nothing): a changed CMakeLists.txt may add or remove
  # targets.
  ninja -C "$dir" build.ninja >/dev/null || die "regenerating $dir failed"
  local targets
  targets=$(ninja -C "$dir" -t targets all | sed 's/:.*//')
  for t in $(targets_of "$arch"); do
    if grep -qx -- "$t" <<<"$targets"; then have+=("$t"); else missing+=("$t"); fi
  done
  if [ ${#have[@]} -gt 0 ]; then
    if [ $no_build = 1 ]; then
      local plan
      plan=$(build_plan "$dir" "${have[@]}")
      [ -z "$plan" ] ||
        die "$dir is not up to date for ${have[*]} (it would run: $(head -1 <<<"$plan")); build it, or leave out --no-build"
    elif [ $partial = 0 ]; then
      echo "package-windows: building ${have[*]} in $dir" >&2
      cmake --build "$dir" -j "$jobs" --target "${have[@]}" >&2 || die "building in $dir failed"
    else
      # Build what can be built; a target whose build failed (still not up to date) is left out.
      echo "package-windows: building ${have[*]} in $dir (--partial: going on after failures)" >&2
      cmake --build "$dir" -j "$jobs" --target "${have[@]}" -- -k 0 >&2 ||
        echo "package-windows: building in $dir failed in part" >&2
      for t in "${have[@]}"; do
        if ! up_to_date "$dir" "$t"; then
          echo "package-windows: $arch: $t did not build in $dir" >&2
          missing+=("$t")
        fi
      done
    fi
  fi
  echo "${missing[*]}"
}

# ------------------------------------------------------------------------------------------- stage
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; } # text files for Windows: CR LF line ends

# The export list for other tools: the undecorated names the DLL exports. (The import library is the
# build's own, lib/libtagclient.dll.a; the 32-bit one resolves the stdcall symbols that clients call,
# _QZDAC_Connect@12, to these names.)
plain_def() {
  echo "LIBRARY tagclient.dll"
  echo "EXPORTS"
  sed -n 's/^[[:space:]]\{1,\}\(QZDAC_[A-Za-z]*\)[[:space:]]*$/    \1/p' toolkit/tagclient.def
}

notices() { # the licences of what the programs carry inside them (linked statically)
  cat <<'EOF'
Third-party software in this release
====================================

The programs and DLLs of this release are linked statically with the following libraries; their
copyright and licence statements follow, as Debian, where they were built, records them.

- GCC's runtime libraries (libgcc, libstdc++): GPL with the GCC Runtime Library Exception
- mingw-w64 runtime and winpthreads: ZPL, MIT (expat) and BSD licences
- muParser (expression evaluation): MIT (expat)
- nlohmann/json (JSON text): MIT
- CLI11 (command-line parsing): BSD 3-clause

EOF
  local pkg file
  for pkg in libmuparser-dev nlohmann-json3-dev libcli11-dev mingw-w64-common gcc-mingw-w64-base; do
    file=/usr/share/doc/$pkg/copyright
    if [ -f "$file" ]; then
      printf '\n\n==================== %s (Debian package %s) ====================\n\n' "${pkg}" "$pkg"
      cat "$file"
    else
      echo "package-windows: $file is missing: its notice is not in the release" >&2
    fi
  done
}

stage() { # arch dir stage_root missing_targets; prints the missing files
  local arch=$1 dir=$2 top=$3/tagsink-windows-$1 t f missing=()
  local triple
  triple=$(triple_of "$arch")
  rm -rf "$3"
  mkdir -p "$top/sdk/include/platform" "$top/sdk/lib" "$top/examples"
  for t in $(targets_of "$arch"); do
    f=$(file_of "$t")
    # A file left in bin/ by a target the build no longer has is not taken.
    if [ -f "$dir/bin/$f" ] && [[ " $4 " != *" $t "* ]]; then
      "$triple-strip" --strip-all -o "$top/$f" "$dir/bin/$f"
    else
      missing+=("$f")
    fi
  done
  if [ "$arch" = x64 ] && [ $desktop = 1 ] && [[ " $4 " != *" tagsink "* ]]; then
    if [ -f "$dir/tagsink-runtime.txt" ]; then
      while read -r f; do
        [ -n "$f" ] || continue
        if [ -f "$dir/bin/$f" ]; then
          mkdir -p "$(dirname "$top/$f")"
          cp "$dir/bin/$f" "$top/$f"
        else
          missing+=("$f")
        fi
      done <"$dir/tagsink-runtime.txt"
    else
      missing+=("the Qt DLLs of tagsink.exe ($dir/tagsink-runtime.txt)")
    fi
  fi
  cp toolkit/include/tagclient.h "$top/sdk/include/"
  cp platform/include/platform/oleauto.h "$top/sdk/include/platform/"
  if [ -f "$dir/lib/libtagclient.dll.a" ] && [[ " $4 " != *" tagclient "* ]]; then
    cp "$dir/lib/libtagclient.dll.a" "$top/sdk/lib/"
  else
    missing+=("sdk/lib/libtagclient.dll.a")
  fi
  crlf <(plain_def) "$top/sdk/lib/tagclient.def"
  # The pages an operator needs, as Markdown (CR LF), with the pictures they show.
  mkdir -p "$top/docs/reference" "$top/docs/images"
  for f in "${operator_docs[@]}"; do
    crlf "docs/$f" "$top/docs/$f"
  done
  cp docs/images/*.png "$top/docs/images/"
  cp docs/samples/sample.DAT "$top/examples/sample.DAT"
  crlf docs/samples/sample.sql "$top/examples/sample.sql"
  sed -e "s/@ARCH@/$arch/g" -e "s/@BITS@/$(bits_of "$arch")/g" -e "s/@VERSION@/$version/g" \
      -e "s/@TAGCLIENT_VERSION@/$tagclient_version/g" windows/release/README-windows.txt |
    if [ "$arch" = x64 ] && [ $desktop = 1 ]; then
      sed -e '/^@NODESKTOP{@$/,/^@}NODESKTOP@$/d' -e '/^@DESKTOP{@$/d' -e '/^@}DESKTOP@$/d'
    else
      sed -e '/^@DESKTOP{@$/,/^@}DESKTOP@$/d' -e '/^@NODESKTOP{@$/d' -e '/^@}NODESKTOP@$/d'
    fi >"$3/readme"
  crlf "$3/readme" "$top/README-windows.txt"
  rm -f "$3/readme"
  notices >"$3/notices"
  crlf "$3/notices" "$top/THIRD-PARTY-NOTICES.txt"
  rm -f "$3/notices"
  echo "${missing[*]}"
}

# ---------------------------------------------------------------------------------------------- zip
make_zip() { # stage_root arch zip
  local from=$1 name=tagsink-windows-$2 zipfile=$3
  rm -f "$zipfile"
  find "$from/$name" -type d -exec chmod 755 {} +
  find "$from/$name" -type f -exec chmod 644 {} +
  find "$from/$name" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  if [ "${TAGSINK_ZIP_TOOL:-zip}" = zip ] && command -v zip >/dev/null; then
    (cd "$from" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D -9 -@ "$zipfile")
  else
    python3 - "$from" "$name" "$zipfile" "$SOURCE_DATE_EPOCH" <<'EOF'
import os, sys, time, zipfile
base, name, target, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
stamp = time.gmtime(epoch)[:6]
files = []
for folder, _, names in os.walk(os.path.join(base, name)):
    files += [os.path.relpath(os.path.join(folder, n), base) for n in names]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for f in sorted(files, key=lambda p: p.encode()):
        info = zipfile.ZipInfo(f.replace(os.sep, "/"), stamp)
        info.external_attr = 0o100644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(base, f), "rb") as data:
            z.writestr(info, data.read())
EOF
  fi
}

# --------------------------------------------------------------------------------------------- main
mkdir -p "$out"
out=$(cd "$out" && pwd)
status=0
made=()
for arch in $archs; do
  dir=${build_dir[$arch]:-$(default_dir_of "$arch")}
  missing_targets=$(prepare "$arch" "$dir")
  stage_root=$out/.stage-$arch
  missing_files=$(stage "$arch" "$dir" "$stage_root" "$missing_targets")
  if [ -n "$missing_files" ]; then
    echo "package-windows: $arch: not in $dir: $missing_files" >&2
    [ -z "$missing_targets" ] || echo "package-windows: $arch: $dir did not make $missing_targets" \
      "(no such target in the Windows build, or its build failed: see above)" >&2
    if [ $partial = 0 ]; then
      echo "package-windows: $arch: no zip made (--partial packages what is there)" >&2
      rm -rf "$stage_root"
      status=1
      continue
    fi
    echo "package-windows: $arch: INCOMPLETE release (--partial): $missing_files left out" >&2
    status=1
  fi
  zipfile=$out/tagsink-windows-$arch.zip
  make_zip "$stage_root" "$arch" "$zipfile"
  rm -rf "$stage_root"
  made+=("$zipfile")
done
for z in "${made[@]}"; do echo "$z"; done
exit $status
