# Shared part of the mingw-w64 cross toolchains. The including file sets MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first.
#
# Compilers: the "-posix" thread model, so std::thread and std::mutex exist. Everything is linked
# statically (libgcc, libstdc++, winpthread), so the produced DLLs and programs import system DLLs only.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_AR ${MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "archiver")
set(CMAKE_RANLIB ${MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "ranlib")
set(CMAKE_OBJDUMP ${MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump")

# The interface compiler that matches the target (pointer size and alignment of the generated stubs).
set(MINGW_WIDL ${MINGW_TRIPLE}-widl CACHE FILEPATH "widl for the target")
# Wine's IDL files (Debian's mingw-w64 ships none): unknwn.idl, objidl.idl, oaidl.idl, ocidl.idl, comcat.idl.
set(MINGW_IDL_INCLUDE_DIR /usr/include/wine/wine/windows CACHE PATH "system .idl files")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Windows 7 API level: enough for every call we make, and what Wine reports by default.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")

# Test programs cannot run during the build; list GoogleTest cases when CTest runs them instead.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
