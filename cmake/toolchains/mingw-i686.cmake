# 32-bit Windows (i686) with mingw-w64:
#   cmake -S windows -B build-win32 -G Ninja --toolchain cmake/toolchains/mingw-i686.cmake
# This kind of machine cannot execute 32-bit code, so the results are checked statically only.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Module-definition files name exports without the stdcall decoration ("DllGetClassObject", not
# "DllGetClassObject@12"); let the linker match them to the decorated symbols without a warning.
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--enable-stdcall-fixup")
string(APPEND CMAKE_MODULE_LINKER_FLAGS_INIT " -Wl,--enable-stdcall-fixup")
