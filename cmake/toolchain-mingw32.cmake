# Cross build for 32-bit x86 Windows with MinGW-w64; its programs run under Wine's 32-bit loader
# (Debian's wine32), in a 64-bit prefix as on 64-bit Windows.
set(KNOT_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KNOT_WINE /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
