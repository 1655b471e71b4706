# Cross-compilation for 64-bit Windows (x86_64, linked statically): a test
# build of the Windows-side code only, for machines whose Wine can run 64-bit
# programs alone. The program ships as PE32.
set(MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
