# Third-party libraries, all found on the system (installed by scripts/setup.sh).
if(WIN32)
  # The C and C++ runtimes are linked into the program, so that it needs only system DLLs.
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  find_package(OpenGL REQUIRED)
  # An installed GLEW (MSYS2, vcpkg) unless a GLEW source tree is given or was fetched before.
  if(NOT TAVIK_GLEW_SOURCE_DIR)
    find_package(GLEW QUIET)
  endif()
  if(NOT TARGET GLEW::GLEW)
    include(${CMAKE_CURRENT_LIST_DIR}/GlewFromDebianSource.cmake)
  endif()
else()
  set(OpenGL_GL_PREFERENCE GLVND)
  find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX EGL)
  find_package(GLEW REQUIRED)
  find_package(X11 REQUIRED)
  # The build-time tool that turns the icon's PNG renderings into the X11 window's icon data.
  find_package(PNG REQUIRED)
  # The Wayland host: the client library and its cursor themes, EGL windows, libdecor's frames,
  # libxkbcommon for the compositor's keymap, and the protocol descriptions that wayland-scanner turns into code. The program uses only their
  # headers and loads the libraries at run time, as it does Pango and cairo, which draw the message
  # box and are loaded when a box is first shown.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(WaylandHost REQUIRED IMPORTED_TARGET
    wayland-client wayland-cursor wayland-egl libdecor-0 xkbcommon)
  pkg_check_modules(WaylandText REQUIRED pangocairo)
  pkg_get_variable(TAVIK_WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
  pkg_get_variable(TAVIK_WAYLAND_SCANNER wayland-scanner wayland_scanner)
  # The core protocol's description (wayland.xml) lies beside the scanner's data.
  pkg_get_variable(TAVIK_WAYLAND_CORE_DIR wayland-scanner pkgdatadir)
  if(NOT TAVIK_WAYLAND_PROTOCOLS_DIR OR NOT TAVIK_WAYLAND_SCANNER OR NOT TAVIK_WAYLAND_CORE_DIR)
    message(FATAL_ERROR "wayland-protocols and wayland-scanner are needed (install "
                        "wayland-protocols and libwayland-bin)")
  endif()
endif()
if(NOT TARGET OpenGL::GLU)
  message(FATAL_ERROR "GLU was not found (install libglu1-mesa-dev)")
endif()
if(TAVIK_TESTS)
  find_package(GTest REQUIRED)
endif()
if(TAVIK_BENCH)
  find_package(benchmark REQUIRED)
endif()
