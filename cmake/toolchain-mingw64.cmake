# Cross build for 64-bit Windows with MinGW-w64; the test programs run under Wine.
# The posix thread model is needed: the default compilers lack std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KNOT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KNOT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KNOT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KNOT_MINGW_PREFIX}-windres)
set(CMAKE_AR ${KNOT_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KNOT_MINGW_PREFIX}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${KNOT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs then need no MinGW DLLs beside them, under Wine or on Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# add_test() commands run through Wine (set WINEDEBUG=-all to keep its chatter out).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
