# Hardening of the release and package builds (TAVIK_HARDENING, set by the release preset): the
# flags that Debian's dpkg-buildflags gives with hardening=+all, and on Windows the PE flags for
# address-space randomisation with high-entropy addresses and a non-executable data area.
if(NOT TAVIK_HARDENING)
  return()
endif()

if(WIN32)
  if(MINGW)
    # Recent MinGW-w64 linkers set these by default; they are asked for here so that an older
    # one cannot quietly drop them.
    add_link_options(LINKER:--dynamicbase LINKER:--high-entropy-va LINKER:--nxcompat)
  elseif(MSVC)
    add_link_options(/DYNAMICBASE /HIGHENTROPYVA /NXCOMPAT)
  endif()
  return()
endif()

include(CheckCXXCompilerFlag)
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# _FORTIFY_SOURCE checks only optimised code; the compiler may predefine it at another level.
add_compile_options(-fstack-protector-strong "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE>"
                    "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>" -Wformat
                    -Werror=format-security)
# Control-flow protection is -fcf-protection on x86-64 and pointer authentication with branch
# targets on 64-bit ARM; each compiler takes the one of its target.
foreach(flag -fstack-clash-protection -fcf-protection -mbranch-protection=standard)
  string(MAKE_C_IDENTIFIER "TAVIK_HAS${flag}" supported)
  check_cxx_compiler_flag(${flag} ${supported})
  if(${supported})
    add_compile_options(${flag})
  endif()
endforeach()
add_link_options(LINKER:-z,relro LINKER:-z,now)
