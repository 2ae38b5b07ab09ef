# 64-bit Windows (x86_64) with mingw-w64:
#   cmake -S windows -B build-win64 -G Ninja --toolchain cmake/toolchains/mingw-x86_64.cmake
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Programs of this target run under the 64-bit Wine loader (called directly: no 32-bit Wine here).
find_program(MINGW_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT MINGW_WINE64)
  find_program(MINGW_WINE64 NAMES wine64)
endif()
if(MINGW_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MINGW_WINE64})
endif()
