# What both cross builds for Windows share; the toolchain files include it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# ctest runs each test program under Wine, in the build's own prefix, display and session,
# with the loader of the program's architecture (scripts/wine-env.sh names Wine's loaders).
set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/ctest-wine.sh ${CMAKE_BINARY_DIR})
