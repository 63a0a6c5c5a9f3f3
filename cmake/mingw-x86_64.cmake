# Cross-compiles for 64-bit Windows with MinGW-w64. The product is the 32-bit build; this one
# runs the Windows tests under a 64-bit-only Wine, on build machines whose kernel cannot execute
# 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NORVEX_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
