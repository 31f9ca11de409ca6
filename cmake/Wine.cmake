# Wine and the MinGW-w64 tools that the tests of the cross-built Windows program use, looked for
# only in a tree that is given one (TAVIK_WINDOWS_EXE; the wine preset sets it).
if(TAVIK_WINDOWS_EXE)
  find_program(TAVIK_WINE wine REQUIRED)
  find_program(TAVIK_WINESERVER wineserver REQUIRED)
  find_program(TAVIK_MINGW_GCC NAMES x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc REQUIRED)
  find_program(TAVIK_MINGW_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
  # One 64-bit prefix for every Wine test of the tree, made on first use and reused.
  set(TAVIK_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
endif()
