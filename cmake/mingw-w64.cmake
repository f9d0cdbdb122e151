# Cross-compiles the core library and its tests to 64-bit Windows executables with
# Debian's mingw-w64; the tests then run under Wine (scripts/test_windows.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVORIN_MINGW_PREFIX x86_64-w64-mingw32)
# The posix-threads variant: GoogleTest's headers use std::mutex and std::condition_variable,
# which the win32-threads variant of GCC 12 lacks.
find_program(CMAKE_C_COMPILER NAMES ${TAVORIN_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TAVORIN_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TAVORIN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVORIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained .exe files: no libstdc++/libgcc/winpthread DLLs to hunt for under Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests (and gtest_discover_tests) run the executables through Wine; Debian keeps wine64 out
# of PATH.
find_program(TAVORIN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TAVORIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVORIN_WINE})
endif()
