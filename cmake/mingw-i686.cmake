# Cross build for 32-bit Windows with MinGW-w64: the programs we ship.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Where the host can execute 32-bit code, Wine's 32-bit loader runs the tests (see
# scripts/runs-32bit.sh).
set(KELVARO_WINE /usr/lib/wine/wine CACHE FILEPATH "Wine's loader of 32-bit programs")
# With the address space laid out the same every time: Wine maps its shared user data at a
# fixed address, which a random layout now and then takes (scripts/wine-env.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR setarch -R ${KELVARO_WINE})
