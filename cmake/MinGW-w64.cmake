# Cross build for 64-bit Windows with MinGW-w64 (tools/windows.sh). The Qt,
# Qwt and SQLite built for Windows lie under VODEZ_WIN_PREFIX, the cache that
# tools/windows-deps.sh fills; tests run under Wine through tools/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT VODEZ_WIN_PREFIX)
  set(VODEZ_WIN_PREFIX "$ENV{VODEZ_WIN_PREFIX}")
endif()
if(NOT VODEZ_WIN_PREFIX)
  message(FATAL_ERROR "VODEZ_WIN_PREFIX must name the Windows libraries (tools/windows-deps.sh prints it)")
endif()
# Try-compiles run with a toolchain of their own; they need the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VODEZ_WIN_PREFIX)

set(CMAKE_FIND_ROOT_PATH "${VODEZ_WIN_PREFIX}/qt" "${VODEZ_WIN_PREFIX}/qwt" "${VODEZ_WIN_PREFIX}/deps"
    /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(Qt5_DIR "${VODEZ_WIN_PREFIX}/qt/lib/cmake/Qt5" CACHE PATH "")
set(SQLite3_INCLUDE_DIR "${VODEZ_WIN_PREFIX}/deps/include" CACHE PATH "")
set(SQLite3_LIBRARY "${VODEZ_WIN_PREFIX}/deps/lib/libsqlite3.dll.a" CACHE FILEPATH "")

set(CMAKE_CROSSCOMPILING_EMULATOR bash "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh")
