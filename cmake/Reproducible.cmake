# Reproducible builds (TAVIK_REPRODUCIBLE, set by scripts/package.sh): no path of the source or
# build tree gets into a binary (__FILE__, debug information). The time stamps that the tools
# write (the PE header's, the archives') come from SOURCE_DATE_EPOCH, which the script exports.
if(TAVIK_REPRODUCIBLE)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                      -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
endif()
