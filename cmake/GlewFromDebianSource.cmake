# GLEW for the Windows program when no installed one is found (MSYS2 and vcpkg provide one; the
# MinGW-w64 cross tree of a Debian machine does not), compiled as a static library (GLEW_STATIC):
# the source tree given in TAVIK_GLEW_SOURCE_DIR, or else the source of Debian's glew package,
# fetched into the build tree once.
set(TAVIK_GLEW_WORK_DIR ${CMAKE_BINARY_DIR}/_deps/glew)
set(TAVIK_GLEW_SOURCE_DIR "" CACHE PATH "Unpacked GLEW source (fetched into the build tree when empty)")

string(FIND "${TAVIK_GLEW_SOURCE_DIR}" "${TAVIK_GLEW_WORK_DIR}/" fetched_here)
if(TAVIK_GLEW_SOURCE_DIR AND NOT fetched_here EQUAL 0 AND
   NOT EXISTS "${TAVIK_GLEW_SOURCE_DIR}/src/glew.c")
  message(FATAL_ERROR "TAVIK_GLEW_SOURCE_DIR (${TAVIK_GLEW_SOURCE_DIR}) holds no src/glew.c")
endif()

if(NOT EXISTS "${TAVIK_GLEW_SOURCE_DIR}/src/glew.c")
  find_program(TAVIK_APT_GET apt-get)
  if(NOT TAVIK_APT_GET)
    message(FATAL_ERROR "GLEW was not found and there is no apt-get to fetch its source: install "
                        "GLEW (MSYS2: mingw-w64-ucrt-x86_64-glew; vcpkg: glew), or set "
                        "TAVIK_GLEW_SOURCE_DIR to an unpacked GLEW source release")
  endif()
  message(STATUS "Fetching the source of Debian's glew package into ${TAVIK_GLEW_WORK_DIR}")
  execute_process(
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/fetch-debian-source.sh glew ${TAVIK_GLEW_WORK_DIR}
    RESULT_VARIABLE fetch_result
    OUTPUT_VARIABLE fetched_dir
    ERROR_VARIABLE fetch_log
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT fetch_result EQUAL 0 OR NOT EXISTS "${fetched_dir}/src/glew.c")
    message(FATAL_ERROR "Could not fetch GLEW's source with apt-get source:\n${fetch_log}")
  endif()
  set(TAVIK_GLEW_SOURCE_DIR "${fetched_dir}" CACHE PATH
      "Unpacked GLEW source (fetched into the build tree when empty)" FORCE)
endif()

add_library(tavik_glew STATIC ${TAVIK_GLEW_SOURCE_DIR}/src/glew.c)
target_compile_definitions(tavik_glew PUBLIC GLEW_STATIC)
target_include_directories(tavik_glew SYSTEM PUBLIC ${TAVIK_GLEW_SOURCE_DIR}/include)
target_link_libraries(tavik_glew PUBLIC OpenGL::GL)
# GLEW's generated source is compiled as it is; its warnings are not ours to fix.
target_compile_options(tavik_glew PRIVATE -w)
add_library(GLEW::GLEW ALIAS tavik_glew)
