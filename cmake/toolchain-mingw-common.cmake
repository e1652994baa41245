# What both Windows cross builds share; the toolchain file of each architecture sets
# KNOT_MINGW_PREFIX, CMAKE_SYSTEM_PROCESSOR and KNOT_WINE (the Wine loader for its programs),
# then includes this file. The posix thread model is needed: the default compilers lack
# std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KNOT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KNOT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KNOT_MINGW_PREFIX}-windres)
set(CMAKE_AR ${KNOT_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KNOT_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(KNOT_OBJDUMP ${KNOT_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KNOT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs then need no MinGW DLLs beside them, under Wine or on Windows.
# No time stamp in the PE header (two builds of one commit are byte-identical), and subsystem
# version 6.1, which Windows 7 accepts.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -Wl,--no-insert-timestamp -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,1 -Wl,--major-os-version,6 -Wl,--minor-os-version,1")

# add_test() commands run through Wine (set WINEDEBUG=-all to keep its chatter out).
set(CMAKE_CROSSCOMPILING_EMULATOR ${KNOT_WINE})
