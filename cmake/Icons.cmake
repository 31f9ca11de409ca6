# The program's icon, rendered from the one SVG (packaging/icons/) by librsvg's rsvg-convert at
# build time. rsvg-convert writes the same bytes for the same SVG, so the PNGs, and what is made
# from them, are reproducible.
set(TAVIK_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/icons/org.tavik.Tavik.svg)
find_program(TAVIK_RSVG_CONVERT rsvg-convert)

# Adds the command that renders the icon at size x size pixels into DIR/SIZExSIZE/, and sets
# OUT_VAR to the PNG's path.
function(tavik_render_icon size dir out_var)
  if(NOT TAVIK_RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert is needed for the icon (install librsvg2-bin)")
  endif()
  set(png ${dir}/${size}x${size}/org.tavik.Tavik.png)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/${size}x${size}
    COMMAND ${TAVIK_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${TAVIK_ICON_SVG}
    DEPENDS ${TAVIK_ICON_SVG}
    VERBATIM)
  set(${out_var} ${png} PARENT_SCOPE)
endfunction()
