# Cross-compiles for 32-bit Windows with MinGW-w64 (posix thread model) and a static runtime,
# so SETUP.EXE and the test programs need no MinGW DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(NORVEX_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${NORVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NORVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${NORVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NORVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
