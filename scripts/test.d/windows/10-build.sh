# build: cross-builds tagclient for 32-bit (build-win32/) and 64-bit Windows (build-win64/) with mingw-w64.
# 32-bit: what ships, and the toolkit's test programs. They cannot run on this kind of machine, but they
# are compiled and linked all the same: a callback without QZDAC_CALL (stdcall here, and nothing on
# x86-64) does not compile for i686, and toolkit_c_header_test calls the exports through the import library.
# 64-bit: everything (windows/CMakeLists.txt).
cross_build() { # dir toolchain [targets...]
  local dir=$1 toolchain=$2
  shift 2
  # Line tables only (-g1), as in the test script's builds: backtraces keep files and lines.
  cmake -S "$root/windows" -B "$root/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAGSINK_LINE_TABLES_ONLY=ON \
    "${ccache_launcher[@]}" --toolchain "$root/cmake/toolchains/$toolchain" >/dev/null
  cmake --build "$root/$dir" -j "$jobs" ${1:+--target "$@"}
}

stage_build() {
  step "32-bit (build-win32)"
  cross_build build-win32 mingw-i686.cmake tagclient tagclient_opc_ps opcsim opcsim_local toolkit_rpc_guard_tests \
    toolkit_c_header_test toolkit_fake_tests toolkit_sim_tests toolkit_threaded_tests toolkit_stream_tests \
    toolkit_server_death_tests tagsink-run tagsink-project tagsink-buffer tagclient-cli
  step "64-bit (build-win64)"
  cross_build build-win64 mingw-x86_64.cmake
}
