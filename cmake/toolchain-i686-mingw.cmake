# Cross-compilation for 32-bit Windows (i686, linked statically): updater.exe
# and everything that runs under Wine with it.
set(MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
