# Cross-compiles the Linux program for 64-bit ARM with Debian's cross compiler, against the arm64
# libraries that Debian's multiarch installs beside the build machine's own
# (/usr/lib/aarch64-linux-gnu). Tools that run during the build (wayland-scanner) are the build
# machine's; libraries, headers and pkg-config's answers are the arm64 ones only.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(TAVIK_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${TAVIK_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TAVIK_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${TAVIK_CROSS_TRIPLET})

# The cross compiler's own tree (its C library) and the multiarch tree of the arm64 packages.
set(CMAKE_FIND_ROOT_PATH /usr/${TAVIK_CROSS_TRIPLET} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the arm64 packages' .pc files and the architecture-independent ones
# (wayland-protocols); the scanner it names (wayland-scanner.pc is arm64's) is the build
# machine's, which lies at the same path.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${TAVIK_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Programs built for the target run through the user-mode emulator: the tests (ctest) and
# gtest's discovery of their cases.
find_program(TAVIK_QEMU_AARCH64 qemu-aarch64)
if(TAVIK_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVIK_QEMU_AARCH64})
endif()
