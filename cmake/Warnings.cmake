# Warnings and sanitizers applied to every target of the project.
if(MSVC)
  add_compile_options(/W4)
else()
  add_compile_options(-Wall -Wextra)
endif()

# The sanitizers of the asan preset, which the fuzzer uses too.
set(TAVIK_SANITIZER_COMPILE_FLAGS
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
set(TAVIK_SANITIZER_LINK_FLAGS -fsanitize=address,undefined)
if(TAVIK_SANITIZE)
  add_compile_options(${TAVIK_SANITIZER_COMPILE_FLAGS})
  add_link_options(${TAVIK_SANITIZER_LINK_FLAGS})
endif()
