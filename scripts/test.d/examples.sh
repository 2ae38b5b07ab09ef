#!/usr/bin/env bash
# Builds and runs the tagclient example programs of examples/ against the already-built library in
# build/ (TAGSINK_BUILD to use another folder), exactly as docs/programming/tagclient-programming.md tells
# a programmer to: the C example with cc (and as C++ with c++), the Python example with ctypes. Each must
# exit 0 and print "done". Takes a few seconds; builds nothing else.
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
build=$(cd "${TAGSINK_BUILD:-build}" && pwd)
lib=$build/bin
for f in "$lib/libtagclient.so" "$lib/libqzoleaut.so"; do
  [ -e "$f" ] || { echo "examples: $f is missing; build the target tagclient first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/tagsink-examples.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Only the built-in simulated servers, whatever the user has registered.
export XDG_CONFIG_HOME=$work/xdg XDG_CONFIG_DIRS=$work/xdg-dirs
status=0

check() { # NAME COMMAND...: runs the example, which must exit 0 and end with "done"
  local name=$1; shift
  if "$@" >"$work/$name.out" 2>&1 && tail -n 1 "$work/$name.out" | grep -qx done; then
    echo "examples: $name passed ($(grep -c '^change:' "$work/$name.out") data changes)"
  else
    echo "examples: $name FAILED" >&2
    cat "$work/$name.out" >&2
    status=1
  fi
}

flags=(-Wall -Wextra -Werror -I"$src/toolkit/include" -I"$src/platform/include")
link=(-L"$lib" -ltagclient -lqzoleaut -Wl,-rpath,"$lib")
if cc -std=c11 -pedantic "${flags[@]}" "$src/examples/c/opc_tour.c" "${link[@]}" -o "$work/opc_tour"; then
  check c "$work/opc_tour"
else
  echo "examples: the C example does not compile" >&2
  status=1
fi
if c++ -std=c++17 -x c++ "${flags[@]}" "$src/examples/c/opc_tour.c" -x none "${link[@]}" -o "$work/opc_tour_cxx"; then
  check c++ "$work/opc_tour_cxx"
else
  echo "examples: the C example does not compile as C++" >&2
  status=1
fi
check python python3 "$src/examples/python/opc_tour.py" "$lib"
exit $status
