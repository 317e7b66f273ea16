# Cross build for 64-bit Windows with MinGW-w64 (posix threads: GoogleTest needs std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# 64-bit programs run here under Wine; ctest starts each test through it.
set(KELVARO_WINE /usr/lib/wine/wine64 CACHE FILEPATH "Wine's loader of 64-bit programs")
# With the address space laid out the same every time: Wine maps its shared user data at a
# fixed address, which a random layout now and then takes (scripts/wine-env.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR setarch -R ${KELVARO_WINE})
