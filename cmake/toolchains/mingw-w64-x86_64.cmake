# Cross-compiles the Windows x86-64 program with Debian's MinGW-w64 (the posix-threads variant).
# Libraries and packages are looked up in the cross tree only, so nothing of the build machine's
# own (Linux) GLEW or OpenGL is picked up by mistake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVIK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVIK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVIK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVIK_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVIK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
