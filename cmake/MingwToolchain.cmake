# What the MinGW-w64 toolchain files share: the posix thread-model compilers of the target
# NORVEX_MINGW_PREFIX and a static runtime, so programs need no MinGW DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)

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
